// The engine server's document numbering (Saxon's DocumentNumberAllocator
// of its one configuration): a document made for a run gets its number
// from that run's own DocumentNumbers, so generate-id() gives what the
// run's own process gives; one made outside any run (at start) gets one
// from a range no run reaches.
import java.util.concurrent.atomic.AtomicLong;
import net.sf.saxon.tree.util.DocumentNumberAllocator;

final class RunDocumentNumbers extends DocumentNumberAllocator {
  // Far above any number a run gives itself.
  private static final long OUTSIDE_RUNS = 1L << 48;

  private final AtomicLong outside = new AtomicLong(OUTSIDE_RUNS);

  @Override
  public long allocateDocumentNumber() {
    RunContext run = XslvalidateServer.currentRun();
    return run == null ? outside.getAndIncrement() : run.documents.next();
  }
}
