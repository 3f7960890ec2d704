// What the process that holds the JVM supplies to every run: the one thing
// a host of the run classes gives them. The engine library's own process
// uses LibraryHost, which keeps nothing between runs; the engine server
// (src/engineserver) installs its own once, before its first run
// (XslvalidateRun.install). The run classes know no host but through this.
import java.io.File;
import java.io.OutputStream;
import java.io.PrintStream;
import java.util.List;
import net.sf.saxon.s9api.Processor;
import net.sf.saxon.value.DateTimeValue;

interface RunHost {
  // The processor every run compiles and transforms with, or null: each
  // run makes its own, exactly as the command line does.
  Processor processor();

  // The current date and time of the calling thread's run, or null: Saxon
  // takes the JVM's own clock and time zone.
  DateTimeValue currentDateTime();

  // The stream the calling thread's run writes its standard error to (all
  // its threads: RunErrors), given the run's own messages file, or null
  // when it names none (the stream then writes there, never to standard
  // error). Null: the JVM's own standard error. Asked at most twice per
  // run: when it starts, and once its messages file is open.
  PrintStream errorSink(OutputStream messagesFile);

  // Whether the calling thread's run writes the time of each of its steps
  // to its standard error (Diagnostics): its caller's debug switch.
  boolean traces();

  // Shown every Throwable that ends a run, before it is reported; true
  // when the host deals with it itself, and then nothing is written.
  boolean takesFailure(Throwable failure);

  // The schema set `schemas` compiled together (CompiledSchema.compile),
  // or one compiled earlier from files that are byte for byte the same.
  CompiledSchema compiledSchema(List<File> schemas) throws CompiledSchema.Failure;
}
