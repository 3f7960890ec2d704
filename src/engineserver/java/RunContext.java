// What one run in the engine server gets from its caller instead of from
// the server's process: where its standard error goes, its environment
// variables and current directory; and what the server learns of the run
// while it goes: whether it wrote to standard error, whether it must be
// run again in the caller's own process (and why), and what the compile
// in progress consults.
import java.io.ByteArrayOutputStream;
import java.io.OutputStream;
import java.util.Map;

final class RunContext {
  // The caller's standard error, received as a descriptor.
  final OutputStream err;

  // The caller's environment.
  final Map<String, String> environment;

  // The caller's current directory.
  final String directory;

  // While a stylesheet is compiled for the cache, a copy of what the run
  // writes to standard error, replayed on later runs that reuse it.
  ByteArrayOutputStream capture;

  // While a stylesheet is compiled, what the compile consults beyond its
  // modules (CompileInputs); null outside compiles.
  volatile CompileInputs compiling;

  // Set once anything of the run reached the caller's standard error.
  volatile boolean wroteError;

  // Set when nothing more of the run may reach the caller: it was stopped,
  // or it moves to the caller's own process.
  volatile boolean silenced;

  // Why the run cannot be served here and belongs in the caller's own
  // process; null while it can.
  volatile String inProcessReason;

  RunContext(OutputStream err, Map<String, String> environment, String directory) {
    this.err = err;
    this.environment = environment;
    this.directory = directory;
  }

  // Marks the run as one its caller must run itself, for `why` (the first
  // reason given stays), and silences it.
  synchronized void handBack(String why) {
    if (inProcessReason == null) inProcessReason = why;
    silenced = true;
  }
}
