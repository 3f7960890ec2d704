// What ends a run in the engine server that the server deals with itself
// instead of reporting it (XslvalidateRun.failureTaker): a run stopped
// because its caller went away, whose caller's own process would have
// ended without a word; a run that moves to the caller's own process; and
// a run that ran out of memory, which in the server's shared heap may be
// another run's doing, so it moves to the caller's own process too.
import java.util.function.Predicate;

final class RunFailures implements Predicate<Throwable> {
  // Causes looked through, in case a chain of them loops.
  private static final int MAX_CAUSES = 32;

  @Override
  @SuppressWarnings("removal")
  public boolean test(Throwable t) {
    RunContext run = XslvalidateServer.currentRun();
    if (run == null) return false;
    if (t instanceof ThreadDeath) return run.silenced;
    Throwable cause = t;
    for (int depth = 0; cause != null && depth < MAX_CAUSES; ++depth, cause = cause.getCause()) {
      if (cause instanceof RunMovesInProcess) return true;
      if (cause instanceof OutOfMemoryError) {
        XslvalidateServer.moveInProcess("the server's memory ran out during the run");
        return true;
      }
    }
    return false;
  }
}
