// The engine server's resolver for xsl:result-document: an output that is
// the caller's own (CallerFiles: its standard output, say) moves the run to
// the caller's own process. Every output is still written by Saxon's own
// resolver.
import java.io.File;
import javax.xml.transform.Result;
import javax.xml.transform.TransformerException;
import net.sf.saxon.lib.OutputURIResolver;

final class RunOutputResolver implements OutputURIResolver {
  private final OutputURIResolver standard;

  RunOutputResolver(OutputURIResolver standard) {
    this.standard = standard;
  }

  @Override
  public OutputURIResolver newInstance() {
    return new RunOutputResolver(standard.newInstance());
  }

  @Override
  public Result resolve(String href, String base) throws TransformerException {
    if (XslvalidateServer.currentRun() != null) {
      String absolute = ModuleRecorder.absoluteUri(href, base);
      File file = absolute == null ? null : SourceFiles.localFile(absolute);
      if (file != null && CallerFiles.isCallersOwn(file)) {
        throw XslvalidateServer.moveInProcess("the run writes " + file);
      }
    }
    return standard.resolve(href, base);
  }

  @Override
  public void close(Result result) throws TransformerException {
    standard.close(result);
  }
}
