// Keeps one run from taking the engine server's shared heap from the
// others. After a full collection leaves the old generation above a share
// of its maximum, the run in progress that has allocated most is stopped
// and handed back to its caller, whose own process then runs it alone (and
// meets its own limit there, as without the server); the other runs go on.
// Once that run is gone, and whenever the server is idle with a heap grown
// far past what it uses, a full collection gives the memory back: the
// collector is told to keep little free heap, so the heap shrinks.
import java.lang.management.ManagementFactory;
import java.lang.management.MemoryPoolMXBean;
import java.lang.management.MemoryType;
import java.lang.management.MemoryUsage;

final class MemoryWatch implements Runnable {
  // Share of the old generation's maximum that, still in use after a full
  // collection, counts as pressure.
  private static final double PRESSURE = 0.75;

  // Free heap the collector keeps after a collection, in percent of the
  // heap; the JVM's own bound for this collector is 100 (never shrink).
  private static final String MAX_FREE_PERCENT = "40";

  // An idle server whose heap has grown past this collects and shrinks.
  private static final long IDLE_HEAP_BOUND = 256L << 20;

  private static final long POLL_MILLISECONDS = 100;

  private final MemoryPoolMXBean oldGeneration;
  private final long threshold;
  private final com.sun.management.ThreadMXBean threads;
  private long shrunkAt;

  private MemoryWatch(MemoryPoolMXBean oldGeneration, long threshold,
                      com.sun.management.ThreadMXBean threads) {
    this.oldGeneration = oldGeneration;
    this.threshold = threshold;
    this.threads = threads;
  }

  // Starts the watch on a daemon thread of its own; does nothing where the
  // JVM does not offer what it needs.
  static void start() {
    try {
      ManagementFactory.getPlatformMXBean(com.sun.management.HotSpotDiagnosticMXBean.class)
          .setVMOption("MaxHeapFreeRatio", MAX_FREE_PERCENT);
    } catch (RuntimeException e) {
      // The heap then shrinks less; the watch still works.
    }
    MemoryPoolMXBean old = null;
    for (MemoryPoolMXBean pool : ManagementFactory.getMemoryPoolMXBeans()) {
      if (pool.getType() != MemoryType.HEAP || !pool.isCollectionUsageThresholdSupported()) continue;
      long max = pool.getUsage().getMax();
      if (old == null || max > old.getUsage().getMax()) old = pool;
    }
    if (old == null || old.getUsage().getMax() <= 0
        || !(ManagementFactory.getThreadMXBean() instanceof com.sun.management.ThreadMXBean)) {
      return;
    }
    long threshold = (long) (old.getUsage().getMax() * PRESSURE);
    old.setCollectionUsageThreshold(threshold);
    com.sun.management.ThreadMXBean threads =
        (com.sun.management.ThreadMXBean) ManagementFactory.getThreadMXBean();
    threads.setThreadAllocatedMemoryEnabled(true);
    Thread watcher = new Thread(new MemoryWatch(old, threshold, threads), "xslvalidate-memory");
    watcher.setDaemon(true);
    watcher.start();
  }

  @Override
  public void run() {
    long seen = oldGeneration.getCollectionUsageThresholdCount();
    for (;;) {
      try {
        Thread.sleep(POLL_MILLISECONDS);
        long count = oldGeneration.getCollectionUsageThresholdCount();
        MemoryUsage afterCollection = oldGeneration.getCollectionUsage();
        if (count != seen && afterCollection != null && afterCollection.getUsed() > threshold) {
          stopLargestRun();
          seen = oldGeneration.getCollectionUsageThresholdCount();
        } else {
          seen = count;
          shrinkWhenIdle();
        }
      } catch (InterruptedException e) {
        return;
      } catch (Throwable t) {
        // Out of memory here too: try again on the next round.
      }
    }
  }

  // Stops the run that has allocated most, waits until its threads are
  // gone and gives the memory back.
  private void stopLargestRun() throws InterruptedException {
    RunContext largest = null;
    long most = -1;
    for (RunContext run : XslvalidateServer.runsInProgress()) {
      long allocated = allocatedBy(run.group);
      if (allocated > most) {
        most = allocated;
        largest = run;
      }
    }
    if (largest == null) return;
    XslvalidateServer.handBack(largest, "it used most of the server's memory");
    for (int i = 0; i < 100 && !largest.ended; ++i) {
      Thread.sleep(POLL_MILLISECONDS);
    }
    collect();
  }

  private long allocatedBy(ThreadGroup group) {
    Thread[] members = new Thread[group.activeCount() + 8];
    int count = group.enumerate(members, true);
    long sum = 0;
    for (int i = 0; i < count; ++i) {
      long bytes = threads.getThreadAllocatedBytes(members[i].getId());
      if (bytes > 0) sum += bytes;
    }
    return sum;
  }

  private void shrinkWhenIdle() {
    long committed = ManagementFactory.getMemoryMXBean().getHeapMemoryUsage().getCommitted();
    if (committed <= IDLE_HEAP_BOUND || committed == shrunkAt) return;
    if (!XslvalidateServer.runsInProgress().isEmpty()) return;
    collect();
    shrunkAt = ManagementFactory.getMemoryMXBean().getHeapMemoryUsage().getCommitted();
  }

  private static void collect() {
    System.gc();
  }
}
