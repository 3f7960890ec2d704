// One compiled stylesheet in the engine server's cache, with the content
// hash of every module read to compile it and what the compile wrote to
// standard error.
import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import net.sf.saxon.s9api.XsltExecutable;

final class CompiledStylesheet {
  final XsltExecutable executable;
  final byte[] compileOutput;
  private final List<File> modules;
  private final List<byte[]> hashes;
  final long moduleBytes;

  CompiledStylesheet(XsltExecutable executable, List<File> modules, List<byte[]> hashes,
                     long moduleBytes, byte[] compileOutput) {
    this.executable = executable;
    this.modules = new ArrayList<>(modules);
    this.hashes = new ArrayList<>(hashes);
    this.moduleBytes = moduleBytes;
    this.compileOutput = compileOutput;
  }

  // True while every module still holds the bytes it held when compiled;
  // false when one changed, whatever its size and time stamp, or cannot be
  // read.
  boolean unchanged() {
    for (int i = 0; i < modules.size(); ++i) {
      try {
        if (!Arrays.equals(hashes.get(i), sha256(Files.readAllBytes(modules.get(i).toPath())))) {
          return false;
        }
      } catch (IOException e) {
        return false;
      }
    }
    return true;
  }

  static byte[] sha256(byte[] bytes) {
    try {
      return MessageDigest.getInstance("SHA-256").digest(bytes);
    } catch (NoSuchAlgorithmException e) {
      throw new IllegalStateException("SHA-256 missing from the JDK", e);
    }
  }
}
