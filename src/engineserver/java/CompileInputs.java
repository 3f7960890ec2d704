// Everything one compile of a stylesheet consulted, so that its compiled
// form is reused only for a run that would have consulted the same: files
// (modules, texts, documents) by the SHA-256 of their bytes or by their
// absence, environment variables and the system properties that depend on
// the caller by value, and the implicit time zone. A compile that consulted something that cannot be
// recorded so (a collection, a file that cannot be read) is not kept.
// A file whose status (SourceFiles.settledStatus) is what it was when it
// was hashed is taken as unchanged without reading it again.
import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.util.Arrays;
import java.util.HashMap;
import java.util.LinkedHashMap;
import java.util.Map;
import java.util.Objects;

final class CompileInputs {
  // A file as recorded: the hash of its bytes (null for a file that did not
  // exist) and its status then (null while not to be trusted).
  private static final class Recorded {
    final byte[] hash;
    volatile String status;

    Recorded(byte[] hash, String status) {
      this.hash = hash;
      this.status = status;
    }
  }

  private final Map<File, Recorded> files = new LinkedHashMap<>();
  private final Map<String, String> variables = new HashMap<>();
  private final Map<String, String> properties = new HashMap<>();
  private Map<String, String> allVariables;
  private long bytes;
  private String notKept;

  // The implicit time zone the compile had (the JVM's zone's offset now:
  // every caller of a server has its time zone), which constant
  // expressions folded while compiling may depend on; a compile is reused
  // only at the same offset (not across a change to or from summer time).
  private final int zoneOffset = currentZoneOffset();

  private static int currentZoneOffset() {
    return java.time.OffsetDateTime.now().getOffset().getTotalSeconds();
  }

  // Reads `file`, records its hash and returns its bytes; records its
  // absence and returns null when it does not exist; makes the compile one
  // not to keep and returns null when it cannot be read otherwise.
  synchronized byte[] read(File file) {
    try {
      String status = SourceFiles.settledStatus(file);
      byte[] content = Files.readAllBytes(file.toPath());
      files.put(file, new Recorded(sha256(content), status));
      bytes += content.length;
      return content;
    } catch (NoSuchFileException e) {
      if (!files.containsKey(file)) files.put(file, new Recorded(null, null));
      return null;
    } catch (IOException | RuntimeException e) {
      notKept("cannot read " + file);
      return null;
    }
  }

  synchronized void variable(String name, String value) {
    variables.putIfAbsent(name, value);
  }

  synchronized void allVariables(Map<String, String> environment) {
    if (allVariables == null) allVariables = new HashMap<>(environment);
  }

  synchronized void property(String key, String value) {
    properties.putIfAbsent(key, value);
  }

  synchronized void notKept(String why) {
    if (notKept == null) notKept = why;
  }

  synchronized boolean keepable() {
    return notKept == null;
  }

  // The summed size of the files read.
  synchronized long bytes() {
    return bytes;
  }

  // True when `run` would consult exactly what this compile consulted:
  // every file is one the run may read (RunReads) and still holds the same
  // bytes (whatever its size and time stamp) or is still absent, every
  // variable and property has the same value for it.
  boolean sameFor(RunContext run) {
    if (zoneOffset != currentZoneOffset()) return false;
    Map<File, Recorded> fileCopy;
    synchronized (this) {
      fileCopy = new LinkedHashMap<>(files);
    }
    for (Map.Entry<File, Recorded> entry : fileCopy.entrySet()) {
      // A compile that read a file the run may not read (outside its
      // scope) is not the run's, whatever the file holds.
      if (!RunReads.permitsNow(entry.getKey())) return false;
      Recorded recorded = entry.getValue();
      String status = recorded.hash == null ? null : SourceFiles.settledStatus(entry.getKey());
      if (status != null && status.equals(recorded.status)) continue;
      byte[] now;
      try {
        now = sha256(Files.readAllBytes(entry.getKey().toPath()));
      } catch (NoSuchFileException e) {
        now = null;
      } catch (IOException | RuntimeException e) {
        return false;
      }
      if (!Arrays.equals(recorded.hash, now)) return false;
      if (recorded.hash != null) recorded.status = status;
    }
    Map<String, String> environment = run == null ? System.getenv() : run.environment;
    synchronized (this) {
      if (allVariables != null && !allVariables.equals(environment)) return false;
      for (Map.Entry<String, String> entry : variables.entrySet()) {
        if (!Objects.equals(entry.getValue(), environment.get(entry.getKey()))) return false;
      }
      for (Map.Entry<String, String> entry : properties.entrySet()) {
        String now = run == null ? System.getProperty(entry.getKey())
                                 : RunProperties.callerValue(run, entry.getKey());
        if (now == RunProperties.UNSERVABLE || !Objects.equals(now, entry.getValue())) {
          return false;
        }
      }
    }
    return true;
  }

  private static byte[] sha256(byte[] content) {
    return SourceFiles.sha256(content);
  }
}
