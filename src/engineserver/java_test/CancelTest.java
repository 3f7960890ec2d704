// XslvalidateServer.cancel on the JVM the engine runs on: it must end a run's
// thread that is busy and never looks up (as Saxon is, in the middle of a
// transform), and leave the connection's own thread alone. Thread.stop does
// the ending; a JDK that refuses it (JDK 20 and later) fails here. Run as a
// program: exits 0 when both hold, 1 after naming what failed.

import java.util.concurrent.CountDownLatch;

public final class CancelTest {
  private CancelTest() {}

  private static volatile long sink;

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
    System.exit(failures == 0 ? 0 : 1);
  }
}
