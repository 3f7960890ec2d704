// The files a compile read, each with the SHA-256 of the bytes it was
// compiled from, so that a kept compile can tell whether it still stands
// for what is on disk.
//
// Hashing every file on every reuse is most of a warm run's time with the
// JVM's quick compiler only (its SHA-256 is plain Java there), so each file's
// status (size, inode, modification and change times) is kept beside its
// hash, and a file whose status is the same as when it was hashed is taken
// as unchanged without reading it. The kernel sets a file's change time on
// every write and rename, and no call sets it back, so a write shows in the
// status, unlike the modification time, which anyone can set. A status
// taken within SETTLE_MILLIS of the file's last change is not trusted: a
// write in the same clock tick as the one before it could leave the times
// as they were; such a file is hashed on every reuse until its status is
// older.
import java.io.File;
import java.io.IOException;
import java.net.URI;
import java.nio.file.Files;
import java.nio.file.attribute.FileTime;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;

final class SourceFiles {
  // How old a file's last change must be before its status stands for its
  // content; well above the coarsest time stamps of Linux file systems.
  private static final long SETTLE_MILLIS = 3_000;

  private final List<File> files = new ArrayList<>();
  private final List<byte[]> hashes = new ArrayList<>();
  // Per file: its status when last hashed, or null while not trusted.
  private final List<String> statuses = new ArrayList<>();
  private long bytes;

  // Reads `file` whole, records it and its hash, and returns its bytes.
  // Throws when it cannot be read (nothing is recorded then).
  synchronized byte[] read(File file) throws IOException {
    String status = settledStatus(file);
    byte[] content = Files.readAllBytes(file.toPath());
    files.add(file);
    hashes.add(sha256(content));
    statuses.add(status);
    bytes += content.length;
    return content;
  }

  // True when the calling thread's run may read every file read here
  // (RunReads): a compile kept for one run serves another only then.
  synchronized boolean permittedNow() {
    for (File file : files) {
      if (!RunReads.permitsNow(file)) return false;
    }
    return true;
  }

  // The summed size of the files read, in bytes.
  synchronized long bytes() {
    return bytes;
  }

  // True while every file read still holds the bytes it held when read;
  // false when one changed, whatever its size and time stamps, or cannot
  // be read.
  synchronized boolean unchanged() {
    for (int i = 0; i < files.size(); ++i) {
      File file = files.get(i);
      try {
        String status = settledStatus(file);
        if (status != null && status.equals(statuses.get(i))) continue;
        if (!Arrays.equals(hashes.get(i), sha256(Files.readAllBytes(file.toPath())))) {
          return false;
        }
        statuses.set(i, status);
      } catch (IOException e) {
        return false;
      }
    }
    return true;
  }

  // The status of `file` (size, device and inode, modification and change
  // times) as text, taken before its content is read; null when its last
  // change is too recent for the status to stand for the content, or the
  // status cannot be had.
  static String settledStatus(File file) {
    try {
      Map<String, Object> status =
          Files.readAttributes(file.toPath(), "unix:size,dev,ino,lastModifiedTime,ctime");
      long changed = Math.max(((FileTime) status.get("ctime")).toMillis(),
                              ((FileTime) status.get("lastModifiedTime")).toMillis());
      if (System.currentTimeMillis() - changed < SETTLE_MILLIS) return null;
      return status.get("size") + " " + status.get("dev") + " " + status.get("ino") + " "
          + status.get("lastModifiedTime") + " " + status.get("ctime");
    } catch (IOException | RuntimeException e) {
      return null;
    }
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
