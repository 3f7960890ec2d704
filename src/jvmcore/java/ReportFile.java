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
//
// Its name is held by the engine library (holdForInterrupt) from just
// before it is created until it is renamed or removed, so that SIGINT,
// SIGTERM or SIGHUP removes it before ending the process. A file left by a
// kill nothing can catch carries the pid of a process that is gone: the
// next run writing the same report in that directory removes it.
//
// Where a rename cannot replace the report but writing to it can (a file of
// another user in a directory with the sticky bit, such as /tmp), the whole
// report is still written to the temporary file first, then copied into the
// existing report in place, as the command line overwrites it; that is
// decided when the ReportFile is made, before the run.

import java.io.BufferedOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.OutputStream;
import java.nio.channels.Channels;
import java.nio.channels.FileChannel;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.nio.file.DirectoryStream;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.BasicFileAttributes;
import java.nio.file.attribute.PosixFileAttributes;
import java.util.Objects;
import java.util.concurrent.ThreadLocalRandom;

final class ReportFile extends OutputStream {
  // Longest part of the report's name kept in its temporary file's name, in
  // UTF-8 bytes, so the temporary name stays within a file name's 255 bytes.
  private static final int MAX_TEMPORARY_STEM_BYTES = 200;

  // Longest file name, in bytes, that Linux file systems take.
  private static final int MAX_NAME_BYTES = 255;

  // Mode bit of a directory in which only a file's owner (or the
  // directory's) may remove or replace it.
  private static final int STICKY = 01000;

  private final Path target;
  private final boolean inPlace;
  private Path temporary;
  private int heldSlot = -1;
  private FileChannel channel;
  private OutputStream out;
  private Object fileKey;

  ReportFile(File report) {
    this.target = report.getAbsoluteFile().toPath();
    this.inPlace = renameCannotReplace(target);
  }

  // Why the report `report` cannot be written, in a line for the user, or
  // null. Checked before the run: a last name component longer than a file
  // name may be, a directory the report cannot be created in, an existing
  // report that is read-only (the command line refuses it too, SXRD0004,
  // once the run writes), and a symbolic link of another user that the
  // directory's sticky bit keeps us from replacing.
  static String refusal(File report) {
    Path path = report.getAbsoluteFile().toPath();
    Path name = path.getFileName();
    if (name != null && name.toString().getBytes(StandardCharsets.UTF_8).length > MAX_NAME_BYTES) {
      return "Cannot write report " + report + ": its name is longer than " + MAX_NAME_BYTES
          + " bytes, the longest file name allowed";
    }
    Path directory = path.getParent();
    if (directory == null || Files.isDirectory(path)) return null;  // the command line's message
    if (Files.isRegularFile(path, LinkOption.NOFOLLOW_LINKS) && !Files.isWritable(path)) {
      return "Cannot write to URI " + path.toFile().toURI() + ": the report exists and is read-only";
    }
    if (!Files.isWritable(directory)) {
      return "Cannot write report " + report + ": the directory " + directory
          + " does not let this user create files";
    }
    if (Files.isSymbolicLink(path) && renameCannotReplace(path)) {
      return "Cannot replace report " + report + ": it is a symbolic link of another user in "
          + "a directory with the sticky bit";
    }
    return null;
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
  // over the report path (or, decided when made, copies it into the
  // existing report and removes it). Returns false, touching nothing, when nothing was
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
    if (inPlace) {
      copyInPlace();
      Files.delete(temporary);
    } else {
      Files.move(temporary, target, StandardCopyOption.ATOMIC_MOVE);
    }
    RunTemporaries.forget(temporary);
    temporary = null;
    release();
    return true;
  }

  // Copies the temporary file's bytes over the existing report, as the
  // command line writes it: truncated and rewritten, keeping its owner and
  // mode. Follows no link and creates nothing.
  private void copyInPlace() throws IOException {
    try (FileChannel from = FileChannel.open(temporary, StandardOpenOption.READ,
            LinkOption.NOFOLLOW_LINKS);
         FileChannel to = FileChannel.open(target, StandardOpenOption.WRITE,
            StandardOpenOption.TRUNCATE_EXISTING, LinkOption.NOFOLLOW_LINKS)) {
      long size = from.size();
      for (long done = 0; done < size; ) done += from.transferTo(done, size - done, to);
      to.force(true);
    }
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
      RunTemporaries.forget(temporary);
    } catch (IOException e) {
      System.err.println("Cannot remove temporary file " + temporary + ": " + e);
    }
    temporary = null;
    release();
  }

  private void release() {
    if (heldSlot >= 0) releaseFromInterrupt(heldSlot);
    heldSlot = -1;
  }

  private OutputStream open() throws IOException {
    if (out != null) return out;
    Path directory = target.getParent();
    String stem = "." + prefixWithin(target.getFileName().toString(), MAX_TEMPORARY_STEM_BYTES)
        + ".";
    String ownPid = processId();
    removeStale(directory, stem, ownPid);
    for (int attempt = 0;; ++attempt) {
      Path candidate = directory.resolve(stem + ownPid + "."
          + Long.toUnsignedString(ThreadLocalRandom.current().nextLong(), 36) + ".tmp");
      // Held before it exists, so no moment passes in which a signal would
      // leave it behind. A name taken already carries this process's pid:
      // it is ours or left by a process gone long ago.
      heldSlot = holdName(candidate);
      // Noted for the run's owner too, before it exists (RunTemporaries).
      RunTemporaries.note(candidate);
      try {
        // O_CREAT|O_EXCL|O_NOFOLLOW: fails on anything already there, a
        // symbolic link included, and follows none.
        channel = FileChannel.open(candidate, StandardOpenOption.CREATE_NEW,
            StandardOpenOption.READ, StandardOpenOption.WRITE, LinkOption.NOFOLLOW_LINKS);
      } catch (FileAlreadyExistsException taken) {
        RunTemporaries.forget(candidate);  // not this run's
        release();
        if (attempt >= 100) throw new IOException("no free temporary name like " + candidate);
        continue;
      } catch (IOException | RuntimeException e) {
        RunTemporaries.forget(candidate);
        release();
        throw e;
      }
      temporary = candidate;
      break;
    }
    fileKey = Files.readAttributes(temporary, BasicFileAttributes.class,
        LinkOption.NOFOLLOW_LINKS).fileKey();
    out = new BufferedOutputStream(Channels.newOutputStream(channel), 1 << 16);
    return out;
  }

  // Removes the temporary files ".<report>.<pid>.<random>.tmp" of this
  // report (`stem` is ".<report>.") whose process is gone: left by a kill
  // that nothing could catch. Only regular files whose name has exactly that
  // shape; never one of a live process (its /proc entry exists), nor one of
  // this process. Whatever cannot be listed or removed is left alone.
  private static void removeStale(Path directory, String stem, String ownPid) {
    try (DirectoryStream<Path> entries = Files.newDirectoryStream(directory)) {
      for (Path entry : entries) {
        String pid = staleCandidatePid(entry.getFileName().toString(), stem);
        if (pid == null || pid.equals(ownPid) || new File("/proc/" + pid).exists()) continue;
        try {
          if (Files.isRegularFile(entry, LinkOption.NOFOLLOW_LINKS)) Files.delete(entry);
        } catch (IOException | RuntimeException ignored) {
          // Another user's, or already gone.
        }
      }
    } catch (IOException | RuntimeException ignored) {
      // An unreadable directory: nothing is swept.
    }
  }

  // The pid in `name` when it is "<stem><pid>.<random>.tmp" (pid decimal
  // digits, random 1 to 13 of [0-9a-z], as open() makes them); null
  // otherwise.
  static String staleCandidatePid(String name, String stem) {
    if (!name.startsWith(stem) || !name.endsWith(".tmp")) return null;
    String rest = name.substring(stem.length(), name.length() - 4);
    int dot = rest.indexOf('.');
    if (dot < 1 || dot > 10) return null;
    String pid = rest.substring(0, dot);
    String random = rest.substring(dot + 1);
    if (random.isEmpty() || random.length() > 13) return null;
    for (int i = 0; i < pid.length(); ++i) {
      if (pid.charAt(i) < '0' || pid.charAt(i) > '9') return null;
    }
    for (int i = 0; i < random.length(); ++i) {
      char c = random.charAt(i);
      if (!(c >= '0' && c <= '9') && !(c >= 'a' && c <= 'z')) return null;
    }
    return pid;
  }

  // Whether renaming a file over `path` fails though the directory is
  // writable: the directory has the sticky bit, and neither `path` nor the
  // directory belongs to this process's user (root may replace anything).
  private static boolean renameCannotReplace(Path path) {
    try {
      PosixFileAttributes file = Files.readAttributes(path, PosixFileAttributes.class,
          LinkOption.NOFOLLOW_LINKS);
      Path directory = path.getParent();
      int mode = (Integer) Files.getAttribute(directory, "unix:mode");
      if ((mode & STICKY) == 0) return false;
      int user = effectiveUserId();
      if (user == 0 || user < 0) return false;
      int fileOwner = (Integer) Files.getAttribute(path, "unix:uid", LinkOption.NOFOLLOW_LINKS);
      int directoryOwner = (Integer) Files.getAttribute(directory, "unix:uid");
      return fileOwner != user && directoryOwner != user
          && (file.isRegularFile() || file.isSymbolicLink());
    } catch (IOException | RuntimeException absent) {
      return false;  // nothing there yet, or nothing to tell: the rename decides
    }
  }

  // This process's effective user id, from the engine library; -1 if
  // unknown (no engine library in this JVM).
  private static int effectiveUserId() {
    try {
      return processUserId();
    } catch (UnsatisfiedLinkError notInTheEngine) {
      return -1;
    }
  }

  // Holds `name` in the engine library for removal on a signal; returns its
  // slot, or -1 when it cannot be held (no engine library in this JVM, a
  // name too long, every slot taken): the file then is only swept later.
  private static int holdName(Path name) {
    try {
      return holdForInterrupt(name.toString().getBytes(fileNameCharset()));
    } catch (UnsatisfiedLinkError notInTheEngine) {
      return -1;
    }
  }

  private static Charset fileNameCharset() {
    try {
      return Charset.forName(System.getProperty("sun.jnu.encoding"));
    } catch (RuntimeException unknown) {
      return StandardCharsets.UTF_8;
    }
  }

  // Bound by the engine library (report_file_natives.cpp).
  private static native int holdForInterrupt(byte[] name);

  private static native void releaseFromInterrupt(int slot);

  private static native int processUserId();

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
