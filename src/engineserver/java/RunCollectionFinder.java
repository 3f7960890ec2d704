// The engine server's collection finder: a collection in the caller's own
// files (CallerFiles) moves the run to the caller's own process; a compile
// that reads a collection is not kept (its members are not recorded).
// Finding itself stays Saxon's.
import java.io.File;
import net.sf.saxon.expr.XPathContext;
import net.sf.saxon.lib.CollectionFinder;
import net.sf.saxon.lib.ResourceCollection;
import net.sf.saxon.trans.XPathException;

final class RunCollectionFinder implements CollectionFinder {
  private final CollectionFinder standard;

  RunCollectionFinder(CollectionFinder standard) {
    this.standard = standard;
  }

  @Override
  public ResourceCollection findCollection(XPathContext context, String uri)
      throws XPathException {
    RunContext run = XslvalidateServer.currentRun();
    if (run != null && uri != null) {
      CompileInputs compile = run.compiling;
      if (compile != null) compile.notKept("reads the collection " + uri);
      File file = SourceFiles.localFile(uri);
      if (file != null && CallerFiles.isCallersOwn(file)) {
        throw XslvalidateServer.moveInProcess("the run reads the collection " + file);
      }
    }
    return standard.findCollection(context, uri);
  }
}
