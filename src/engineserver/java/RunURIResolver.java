// The engine server's URI resolver for the documents a run reads (doc(),
// document(), doc-available()): a local file that is the caller's own
// (CallerFiles) moves the run to the caller's own process; while the run
// compiles, the file is read and recorded in the compile's inputs and Saxon
// gets exactly the bytes recorded. Everything else resolves as usual.
import java.io.ByteArrayInputStream;
import java.io.File;
import javax.xml.transform.Source;
import javax.xml.transform.TransformerException;
import javax.xml.transform.URIResolver;
import javax.xml.transform.stream.StreamSource;

final class RunURIResolver implements URIResolver {
  @Override
  public Source resolve(String href, String base) throws TransformerException {
    RunContext run = XslvalidateServer.currentRun();
    if (run == null) return null;
    String absolute = ModuleRecorder.absoluteUri(href, base);
    File file = absolute == null ? null : SourceFiles.localFile(absolute);
    CompileInputs compile = run.compiling;
    if (file == null) {
      if (compile != null) compile.notKept("reads " + href + ", not a local file");
      return null;
    }
    if (CallerFiles.isCallersOwn(file)) {
      throw XslvalidateServer.moveInProcess("the run reads " + file);
    }
    if (compile == null) return null;
    byte[] content = compile.read(file);
    return content == null ? null : new StreamSource(new ByteArrayInputStream(content), absolute);
  }
}
