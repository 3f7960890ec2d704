// What one run in the engine server gets from its caller instead of from
// the server's process: where its standard error goes, its environment
// variables, and the thread group its threads belong to (so they can be
// stopped when the caller goes away).
import java.io.ByteArrayOutputStream;
import java.io.OutputStream;
import java.util.Map;

final class RunContext {
  // The caller's standard error, received as a descriptor.
  final OutputStream err;

  // The caller's environment.
  final Map<String, String> environment;

  // While a stylesheet is compiled for the cache, a copy of what the run
  // writes to standard error, replayed on later runs that reuse it.
  ByteArrayOutputStream capture;

  RunContext(OutputStream err, Map<String, String> environment) {
    this.err = err;
    this.environment = environment;
  }
}
