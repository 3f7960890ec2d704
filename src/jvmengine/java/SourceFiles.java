// The files a compile read, each with the SHA-256 of the bytes it was
// compiled from, so that a kept compile can tell whether it still stands
// for what is on disk.
import java.io.File;
import java.io.IOException;
import java.net.URI;
import java.nio.file.Files;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

final class SourceFiles {
  private final List<File> files = new ArrayList<>();
  private final List<byte[]> hashes = new ArrayList<>();
  private long bytes;

  // Reads `file` whole, records it and its hash, and returns its bytes.
  // Throws when it cannot be read (nothing is recorded then).
  synchronized byte[] read(File file) throws IOException {
    byte[] content = Files.readAllBytes(file.toPath());
    files.add(file);
    hashes.add(sha256(content));
    bytes += content.length;
    return content;
  }

  // The summed size of the files read, in bytes.
  synchronized long bytes() {
    return bytes;
  }

  // True while every file read still holds the bytes it held when read;
  // false when one changed, whatever its size and time stamp, or cannot
  // be read.
  synchronized boolean unchanged() {
    for (int i = 0; i < files.size(); ++i) {
      try {
        if (!Arrays.equals(hashes.get(i), sha256(Files.readAllBytes(files.get(i).toPath())))) {
          return false;
        }
      } catch (IOException e) {
        return false;
      }
    }
    return true;
  }

  static byte[] sha256(byte[] content) {
    try {
      return MessageDigest.getInstance("SHA-256").digest(content);
    } catch (NoSuchAlgorithmException e) {
      throw new IllegalStateException("SHA-256 missing from the JDK", e);
    }
  }

  // The local file a file: URI names, or null for any other URI.
  static File localFile(String uri) {
    try {
      URI parsed = new URI(uri);
      if (!"file".equals(parsed.getScheme()) || parsed.getAuthority() != null) return null;
      return new File(parsed);
    } catch (Exception e) {
      return null;
    }
  }
}
