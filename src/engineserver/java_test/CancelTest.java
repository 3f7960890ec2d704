// XslvalidateServer.cancel on the JVM the engine runs on: it must end a run's
// thread that is busy and never looks up (as Saxon is, in the middle of a
// transform), leave the connection's own thread alone, and keep a run it
// cancelled before the run started from starting at all. Thread.stop does
// the ending; a JDK that refuses it (JDK 20 and later) fails here. Run as a
// program: exits 0 when all hold, 1 after naming what failed.

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.util.concurrent.CountDownLatch;

public final class CancelTest {
  private CancelTest() {}

  private static volatile long sink;

  public static void main(String[] args) throws Exception {
    RunErrors.install();  // a run's messages would go to its caller's descriptor
    File err = File.createTempFile("cancel-test", ".err");
    ThreadGroup group = new ThreadGroup("xslvalidate-run");
    CountDownLatch opened = new CountDownLatch(1);
    CountDownLatch answer = new CountDownLatch(1);
    RunContext[] record = new RunContext[1];
    Thread[] busy = new Thread[1];
    int[] status = {0};
    // The connection's thread: opens the run's record, has a busy thread in
    // its group, and starts the run only after the cancel.
    Thread connection = new Thread(group, () -> {
      try (FileOutputStream out = new FileOutputStream(err)) {
        record[0] = XslvalidateServer.open(
            new String[] {"-s:no-such.xml", "-xsl:no-such.xsl", "-cwd:/"}, out.getFD(),
            new String[0], 0, false);
        busy[0] = new Thread(() -> {
          for (long i = 0;; ++i) sink = i;
        }, "xslvalidate-transform");
        busy[0].setDaemon(true);
        busy[0].start();
        opened.countDown();
        answer.await();
        status[0] = XslvalidateServer.run(record[0]);
      } catch (IOException | InterruptedException e) {
        status[0] = -2;
      }
    }, "xslvalidate-connection");
    connection.setDaemon(true);
    connection.start();
    opened.await();

    int failures = 0;
    Thread canceller = new Thread(() -> XslvalidateServer.cancel(record[0]), "canceller");
    canceller.setDaemon(true);
    canceller.start();
    busy[0].join(10_000);
    if (busy[0].isAlive()) {
      System.err.println("FAIL: the busy run thread still runs after cancel");
      ++failures;
    }
    if (!connection.isAlive()) {
      System.err.println("FAIL: cancel ended the connection's thread");
      ++failures;
    }
    answer.countDown();
    connection.join(10_000);
    canceller.join(10_000);
    if (connection.isAlive() || status[0] != 2) {
      System.err.println("FAIL: a run cancelled before it started gave " + status[0]);
      ++failures;
    }
    if (canceller.isAlive()) {
      System.err.println("FAIL: cancel did not return once the run ended");
      ++failures;
    }
    if (err.length() != 0) {
      System.err.println("FAIL: a run cancelled before it started ran and wrote");
      ++failures;
    }
    err.delete();
    System.exit(failures == 0 ? 0 : 1);
  }
}
