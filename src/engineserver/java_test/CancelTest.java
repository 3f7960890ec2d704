// XslvalidateServer.cancel on the JVM the engine runs on: it must end a run's
// thread that is busy and never looks up (as Saxon is, in the middle of a
// transform), and leave the connection's own thread alone. Thread.stop does
// the ending; a JDK that refuses it (JDK 20 and later) fails here. Run as a
// program: exits 0 when both hold, 1 after naming what failed.

import java.util.concurrent.CountDownLatch;

public final class CancelTest {
  private CancelTest() {}

  private static volatile long sink;

  // A cancel that comes before the connection's run has registered: the
  // run, once it does, ends at once, running nothing and writing nothing.
  // Returns the number of failures.
  private static int cancelBeforeTheRun() throws InterruptedException {
    RunErrors.install();  // a run's messages go to its caller's descriptor
    ThreadGroup group = new ThreadGroup("xslvalidate-run");
    XslvalidateServer.cancel(group);
    java.io.File err;
    try {
      err = java.io.File.createTempFile("cancel-test", ".err");
    } catch (java.io.IOException e) {
      System.err.println("FAIL: no temporary file: " + e);
      return 1;
    }
    int[] status = {0};
    Thread connection = new Thread(group, () -> {
      try (java.io.FileOutputStream out = new java.io.FileOutputStream(err)) {
        status[0] = XslvalidateServer.run(
            new String[] {"-s:no-such.xml", "-xsl:no-such.xsl", "-cwd:/"}, out.getFD(),
            new String[0], 0, false);
      } catch (java.io.IOException e) {
        status[0] = -2;
      }
    }, "xslvalidate-connection");
    connection.start();
    connection.join(10_000);
    int failures = 0;
    if (connection.isAlive() || status[0] != 2) {
      System.err.println("FAIL: a run cancelled before it registered gave " + status[0]);
      ++failures;
    }
    if (err.length() != 0) {
      System.err.println("FAIL: a run cancelled before it registered ran and wrote");
      ++failures;
    }
    err.delete();
    return failures;
  }

  public static void main(String[] args) throws InterruptedException {
    ThreadGroup group = new ThreadGroup("xslvalidate-run");
    CountDownLatch running = new CountDownLatch(2);
    Thread busy = new Thread(group, () -> {
      running.countDown();
      for (long i = 0;; ++i) sink = i;
    }, "xslvalidate-transform");
    CountDownLatch answer = new CountDownLatch(1);
    Thread connection = new Thread(group, () -> {
      running.countDown();
      try {
        answer.await();
      } catch (InterruptedException e) {
        Thread.currentThread().interrupt();
      }
    }, "xslvalidate-connection");
    busy.setDaemon(true);
    connection.setDaemon(true);
    busy.start();
    connection.start();
    running.await();

    int failures = 0;
    try {
      XslvalidateServer.cancel(group);
    } catch (RuntimeException e) {
      System.err.println("FAIL: cancel threw " + e);
      ++failures;
    }
    busy.join(10_000);
    if (busy.isAlive()) {
      System.err.println("FAIL: the busy run thread still runs after cancel");
      ++failures;
    }
    if (!connection.isAlive()) {
      System.err.println("FAIL: cancel ended the connection's thread");
      ++failures;
    }
    answer.countDown();
    failures += cancelBeforeTheRun();
    System.exit(failures == 0 ? 0 : 1);
  }
}
