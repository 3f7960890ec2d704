// One transform run for the engine library, on Saxon-HE's own command-line
// class, so reports come out exactly as `java net.sf.saxon.Transform` writes
// them.
//
// The library defines this class from bytes embedded in it (no jar of its
// own), so it must compile to a single class file: no nested or anonymous
// classes (lambdas are fine, they need no class file).
//
// What it changes from the command line:
//  - Saxon's quit() and badUsage() end the process with System.exit; here
//    they end only the run, with the same message and a nonzero status.
//  - It refuses up front what the command line would do differently from
//    "read this file, write that file": a source that is a directory (the
//    command line would transform every file in it), a report whose
//    directory does not exist (it would create it), "-" (standard input),
//    and names the JVM cannot turn into the exact bytes of the file name.
//  - After a run that ends normally it checks that the report exists.
//  - Every Throwable stays inside: the caller gets a status, never an
//    exception.
//
// The run happens on a fresh Java thread, so its stack is the JVM's thread
// stack size (-Xss), whatever the stack of the calling native thread.

import java.io.File;
import java.nio.charset.Charset;
import java.nio.charset.CharsetEncoder;

public final class XslvalidateRun extends net.sf.saxon.Transform {
  // Status of a run that failed; the command line exits with 2 as well.
  private static final int FAILED = 2;

  // A stack overflow can strike inside a class's static initializer, which
  // leaves that class unusable for the rest of the process. Stack traces are
  // what Saxon builds while it handles an overflow, so their classes are
  // initialized here, on a shallow stack.
  static {
    for (StackTraceElement frame : Thread.currentThread().getStackTrace()) frame.toString();
  }

  // Nonzero once quit() or badUsage() has ended the run.
  private int quitStatus = 0;

  // Runs the transform command with `args` (each "-name:value"). Returns 0
  // when the run completed and its report exists, FAILED otherwise; the
  // reason is on System.err.
  public static int run(String[] args) {
    int[] status = {FAILED};
    Thread worker = new Thread(null, () -> status[0] = runHere(args), "xslvalidate-transform", 0);
    try {
      worker.start();
      worker.join();
    } catch (Throwable t) {
      report(t);
      return FAILED;
    } finally {
      System.err.flush();
    }
    return status[0];
  }

  private static int runHere(String[] args) {
    try {
      String refusal = refusal(args);
      if (refusal != null) {
        System.err.println(refusal);
        return FAILED;
      }
      XslvalidateRun transform = new XslvalidateRun();
      try {
        transform.doTransform(args, "java net.sf.saxon.Transform");
      } catch (Throwable t) {
        if (transform.quitStatus != 0) return transform.quitStatus;
        throw t;
      }
      if (transform.quitStatus != 0) return transform.quitStatus;
      String report = lastValue(args, "-o:");
      if (report != null && !new File(report).isFile()) {
        System.err.println("Report " + report + " was not written");
        return FAILED;
      }
      return 0;
    } catch (Throwable t) {
      report(t);
      return FAILED;
    }
  }

  // Describes why `args` must not reach Saxon, or returns null.
  private static String refusal(String[] args) {
    CharsetEncoder fileNames = fileNameEncoder();
    for (String arg : args) {
      int colon = arg.indexOf(':');
      String value = colon < 0 ? arg : arg.substring(colon + 1);
      if (fileNames != null && !fileNames.canEncode(value)) {
        return "Cannot represent the file name " + value + " in the JVM's file name encoding "
            + System.getProperty("sun.jnu.encoding");
      }
      if ((arg.startsWith("-s:") || arg.startsWith("-xsl:")) && value.equals("-")) {
        return "Reading from standard input is not supported: " + arg;
      }
    }
    String source = lastValue(args, "-s:");
    if (source != null && new File(source).isDirectory()) {
      return "Source document " + source + " is a directory";
    }
    String report = lastValue(args, "-o:");
    if (report != null) {
      File parent = new File(report).getAbsoluteFile().getParentFile();
      if (parent != null && !parent.isDirectory()) {
        return "Cannot write report " + report + ": directory " + parent + " does not exist";
      }
    }
    return null;
  }

  // The encoder for file names, or null when every String is representable
  // (UTF-8).
  private static CharsetEncoder fileNameEncoder() {
    String name = System.getProperty("sun.jnu.encoding");
    try {
      Charset charset = Charset.forName(name);
      if (charset.name().equals("UTF-8")) return null;
      return charset.newEncoder();
    } catch (RuntimeException unknown) {
      return Charset.forName("US-ASCII").newEncoder();
    }
  }

  private static String lastValue(String[] args, String prefix) {
    String value = null;
    for (String arg : args) {
      if (arg.startsWith(prefix)) value = arg.substring(prefix.length());
    }
    return value;
  }

  private static void report(Throwable t) {
    try {
      System.err.println("Fatal error during transformation: " + t);
    } catch (Throwable ignored) {
      // Nothing left to tell the user with.
    }
  }

  // The command line prints the message and exits; here the message is
  // printed and the run ends. An Error, not an Exception, leaves
  // doTransform, whose catch-all for Exception would report it a second time.
  @Override
  protected void quit(String message, int code) {
    System.err.println(message);
    quitStatus = code != 0 ? code : FAILED;
    throw new Error(message);
  }

  @Override
  protected void badUsage(String message) {
    allowExit = false;  // makes the command line's usage text throw, not exit
    try {
      super.badUsage(message);
    } catch (RuntimeException afterUsageText) {
      // The usage text has been printed.
    }
    quitStatus = FAILED;
    throw new Error(message);
  }
}
