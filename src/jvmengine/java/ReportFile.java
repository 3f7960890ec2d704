// The report of a run, put in place whole: written to a new temporary file
// beside the report path and renamed over it only once the run has
// completed, so a reader of that path sees the old file or the whole new
// report, never part of one, and a symbolic link at that path is replaced,
// not written through.
//
// The temporary file ".<report>.<pid>.<random>.tmp" is created, exclusively
// and without following links, only when the serializer writes or flushes
// the principal output, and every byte goes through the channel that
// created it: nothing opens it again by name. A run that never opens its
// principal output (a stylesheet that writes only xsl:result-document
// output) leaves no temporary file, and the report path as the run left it.

import java.io.BufferedOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.OutputStream;
import java.nio.channels.Channels;
import java.nio.channels.FileChannel;
import java.nio.charset.StandardCharsets;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.BasicFileAttributes;
import java.util.Objects;
import java.util.concurrent.ThreadLocalRandom;

final class ReportFile extends OutputStream {
  // Longest part of the report's name kept in its temporary file's name, in
  // UTF-8 bytes, so the temporary name stays within a file name's 255 bytes.
  private static final int MAX_TEMPORARY_STEM_BYTES = 200;

  private final Path target;
  private Path temporary;
  private FileChannel channel;
  private OutputStream out;
  private Object fileKey;

  ReportFile(File report) {
    this.target = report.getAbsoluteFile().toPath();
  }

  // The temporary file, once created; null before the first byte.
  Path temporary() {
    return temporary;
  }

  @Override
  public void write(int b) throws IOException {
    open().write(b);
  }

  @Override
  public void write(byte[] bytes, int offset, int length) throws IOException {
    if (length > 0) open().write(bytes, offset, length);
  }

  // The serializer flushes or closes its stream once it has opened the
  // principal output, even when that output is empty: the report then
  // exists, empty, as on the command line.
  @Override
  public void flush() throws IOException {
    open().flush();
  }

  // The file stays open until complete() or discard().
  @Override
  public void close() throws IOException {
    flush();
  }

  // Flushes what was written to the disk and renames the temporary file
  // over the report path. Returns false, touching nothing, when nothing was
  // written. Throws when the file cannot be written or put in place, or when
  // its name no longer leads to the file written (someone replaced it).
  boolean complete() throws IOException {
    if (out == null) return false;
    out.flush();
    channel.force(true);
    out.close();
    out = null;
    Object now = Files.readAttributes(temporary, BasicFileAttributes.class,
        LinkOption.NOFOLLOW_LINKS).fileKey();
    if (!Objects.equals(now, fileKey)) {
      throw new IOException(temporary + " was replaced by another file");
    }
    Files.move(temporary, target, StandardCopyOption.ATOMIC_MOVE);
    temporary = null;
    return true;
  }

  // Closes and removes the temporary file, if any; says on standard error
  // when it cannot be removed.
  void discard() {
    try {
      if (out != null) out.close();
    } catch (IOException ignored) {
      // Removed below all the same.
    }
    out = null;
    if (temporary == null) return;
    try {
      Files.deleteIfExists(temporary);
    } catch (IOException e) {
      System.err.println("Cannot remove temporary file " + temporary + ": " + e);
    }
    temporary = null;
  }

  private OutputStream open() throws IOException {
    if (out != null) return out;
    Path directory = target.getParent();
    String stem = "." + prefixWithin(target.getFileName().toString(), MAX_TEMPORARY_STEM_BYTES)
        + "." + processId() + ".";
    for (int attempt = 0;; ++attempt) {
      Path candidate = directory.resolve(
          stem + Long.toUnsignedString(ThreadLocalRandom.current().nextLong(), 36) + ".tmp");
      try {
        // O_CREAT|O_EXCL|O_NOFOLLOW: fails on anything already there, a
        // symbolic link included, and follows none.
        channel = FileChannel.open(candidate, StandardOpenOption.CREATE_NEW,
            StandardOpenOption.WRITE, LinkOption.NOFOLLOW_LINKS);
      } catch (FileAlreadyExistsException taken) {
        if (attempt >= 100) throw new IOException("no free temporary name like " + candidate);
        continue;
      }
      temporary = candidate;
      break;
    }
    fileKey = Files.readAttributes(temporary, BasicFileAttributes.class,
        LinkOption.NOFOLLOW_LINKS).fileKey();
    out = new BufferedOutputStream(Channels.newOutputStream(channel), 1 << 16);
    return out;
  }

  // This process's id, from the link /proc/self (plain java.io: the JDK's
  // ProcessHandle would generate classes at run time); "0" if unknown.
  static String processId() {
    try {
      String name = new File("/proc/self").getCanonicalFile().getName();
      Long.parseLong(name);
      return name;
    } catch (IOException | NumberFormatException e) {
      return "0";
    }
  }

  // The longest prefix of `name`, whole code points only, whose UTF-8 form
  // has at most `maxBytes` bytes.
  private static String prefixWithin(String name, int maxBytes) {
    int end = 0;
    int bytes = 0;
    while (end < name.length()) {
      int next = name.offsetByCodePoints(end, 1);
      bytes += name.substring(end, next).getBytes(StandardCharsets.UTF_8).length;
      if (bytes > maxBytes) break;
      end = next;
    }
    return name.substring(0, end);
  }
}
