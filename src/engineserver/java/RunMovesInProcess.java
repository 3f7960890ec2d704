// Thrown inside a run that the engine server cannot serve as the caller's
// own process would: it unwinds the run (Saxon lets an Error through), and
// the server then has the caller run it itself (XslvalidateServer.run).
final class RunMovesInProcess extends Error {
  private static final long serialVersionUID = 1L;

  RunMovesInProcess(String why) {
    super(why, null, false, false);
  }
}
