// The engine server's resolver for unparsed-text() and its kin: a local
// file that is the caller's own (CallerFiles) moves the run to the caller's
// own process; while the run compiles, the file's hash (or absence) is
// recorded in the compile's inputs. Reading itself stays Saxon's.
import java.io.File;
import java.io.Reader;
import java.net.URI;
import net.sf.saxon.Configuration;
import net.sf.saxon.lib.UnparsedTextURIResolver;
import net.sf.saxon.trans.XPathException;

final class RunTextResolver implements UnparsedTextURIResolver {
  private final UnparsedTextURIResolver standard;

  RunTextResolver(UnparsedTextURIResolver standard) {
    this.standard = standard;
  }

  @Override
  public Reader resolve(URI uri, String encoding, Configuration config) throws XPathException {
    RunContext run = XslvalidateServer.currentRun();
    if (run != null) {
      File file = SourceFiles.localFile(uri.toString());
      CompileInputs compile = run.compiling;
      if (file != null && CallerFiles.isCallersOwn(file)) {
        throw XslvalidateServer.moveInProcess("the run reads " + file);
      }
      if (compile != null) {
        if (file == null) {
          compile.notKept("reads " + uri + ", not a local file");
        } else {
          compile.read(file);
        }
      }
    }
    return standard.resolve(uri, encoding, config);
  }
}
