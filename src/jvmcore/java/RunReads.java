// What one run may read, decided in one place for every resolver of the
// run (RunResolvers, DocumentParser, and the engine server's own): the
// run's files and the rules it was given with them.
//
//  - The user's documents: the run's source (-s:), the document named by
//    "-doc:" and each document-valued parameter ("+name=file"). Whatever
//    spelling a stylesheet reaches one of them by (another path, a link, a
//    URI), a read of it is told by the file's identity (device and inode)
//    and goes through the guarded parser (SourceGuard).
//  - The run's scope ("-read:<folder>", any number): when given, every
//    file the run reads besides its own (source, stylesheet, schema files,
//    documents) must lie in one of these folders once every link is
//    followed, and nothing but local files is read (no http:, no jar:, no
//    collection). A run with no scope reads any local file, as the command
//    line does.
//  - Anywhere: a file: URI that names a host is never read (the JDK would
//    open it as an FTP connection).
//
// A run's rules are set on its own thread (begin) and inherited by the
// threads it starts; they are gone once it ends.
import java.io.File;
import java.net.URI;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.BasicFileAttributes;
import java.util.ArrayList;
import java.util.List;

final class RunReads {
  private static final InheritableThreadLocal<RunReads> CURRENT = new InheritableThreadLocal<>();

  // The identities (BasicFileAttributes.fileKey) of the user's documents.
  private final List<Object> documents = new ArrayList<>();
  // The run's own files, which it reads whatever its scope, by real path.
  private final List<Path> ownFiles = new ArrayList<>();
  // The folders of the scope, by real path; null when the run has none.
  private final List<Path> scope;

  private RunReads(RunOptions options) {
    List<File> userFiles = new ArrayList<>();
    if (options.source != null) userFiles.add(options.source);
    if (options.document != null) userFiles.add(options.document);
    userFiles.addAll(options.documentParameters);
    for (File file : userFiles) {
      Object key = identity(file);
      if (key != null) documents.add(key);
    }
    List<File> own = new ArrayList<>(userFiles);
    if (options.stylesheet != null) own.add(options.stylesheet);
    own.addAll(options.schemas);
    for (File file : own) ownFiles.add(realPath(file));
    if (options.readScope.isEmpty()) {
      scope = null;
    } else {
      scope = new ArrayList<>();
      for (File folder : options.readScope) scope.add(realPath(folder));
    }
  }

  // Makes `options`' rules those of the calling thread's run, and of the
  // threads it starts from now on.
  static void begin(RunOptions options) {
    CURRENT.set(new RunReads(options));
  }

  // Ends the calling thread's rules.
  static void end() {
    CURRENT.remove();
  }

  // The rules of the calling thread's run; null outside runs.
  static RunReads current() {
    return CURRENT.get();
  }

  // Why the calling thread's run may not read `uri` (absolute), in a line
  // naming it; null when it may. Outside runs only a file: URI naming a
  // host is refused.
  static String refusal(String uri) {
    if (namesHost(uri)) {
      return "Refused " + uri + ": a file URI that names a host is read over the network;"
          + " only local files are read";
    }
    RunReads reads = current();
    if (reads == null || reads.scope == null) return null;
    File file = uri == null ? null : SourceFiles.localFile(uri);
    if (file != null && reads.permits(file)) return null;
    return "Refused " + uri + ": a configuration reads only the files of its repository";
  }

  // Why the calling thread's run may not read a collection at `uri`, or
  // null: a run with a scope reads none (a collection's members are read
  // past the resolvers).
  static String collectionRefusal(String uri) {
    String refusal = refusal(uri);
    if (refusal != null) return refusal;
    RunReads reads = current();
    if (reads == null || reads.scope == null) return null;
    return "Refused the collection " + uri + ": a configuration reads no collections";
  }

  // True when `uri` names one of the calling thread's run's user documents,
  // by file identity, whatever its spelling.
  static boolean isUserDocument(String uri) {
    RunReads reads = current();
    if (reads == null || reads.documents.isEmpty() || uri == null) return false;
    File file = SourceFiles.localFile(uri);
    if (file == null) return false;
    Object key = identity(file);
    return key != null && reads.documents.contains(key);
  }

  // True when the run may read `file`: it has no scope, or the file is one
  // of its own, or its real path lies in a folder of the scope.
  boolean permits(File file) {
    if (scope == null) return true;
    Path real = realPath(file);
    if (ownFiles.contains(real)) return true;
    for (Path folder : scope) {
      if (real.startsWith(folder)) return true;
    }
    return false;
  }

  // The same for the calling thread's run; true outside runs.
  static boolean permitsNow(File file) {
    RunReads reads = current();
    return reads == null || reads.permits(file);
  }

  // True when `uri` is a file: URI with a host part (even "localhost").
  static boolean namesHost(String uri) {
    if (uri == null) return false;
    try {
      URI parsed = new URI(uri);
      String authority = parsed.getRawAuthority();
      return "file".equalsIgnoreCase(parsed.getScheme()) && authority != null
          && !authority.isEmpty();
    } catch (Exception notAUri) {
      return false;
    }
  }

  // The identity of the file `file` names (links followed), or null when
  // there is none.
  private static Object identity(File file) {
    try {
      return Files.readAttributes(file.toPath(), BasicFileAttributes.class).fileKey();
    } catch (Exception e) {
      return null;
    }
  }

  // `file`'s path with every link followed; for a name that does not
  // exist, the real path of its nearest existing folder with the rest of
  // the name after it (lexically normalised).
  static Path realPath(File file) {
    Path path = file.getAbsoluteFile().toPath().normalize();
    Path rest = null;
    for (Path at = path; at != null; at = at.getParent()) {
      try {
        Path real = at.toRealPath();
        return rest == null ? real : real.resolve(rest).normalize();
      } catch (Exception missing) {
        Path name = at.getFileName();
        if (name == null) break;
        rest = rest == null ? name : name.resolve(rest);
      }
    }
    return path;
  }
}
