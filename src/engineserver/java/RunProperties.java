// The engine server's system properties: the few whose value the JVM takes
// from its process's context (current directory, time zone, locale, the
// library path from LD_LIBRARY_PATH) are
// answered, when a stylesheet asks (system-property()), with the value the
// caller's own process would have; where the server cannot tell that
// value, the run moves to the caller's own process. The JDK's and Saxon's
// own reads keep the server's values: a class that keeps what it read must
// not keep one caller's. Every other property is the server's, which the
// caller's own JVM would have as well. What a compile reads is recorded for
// the cache.
import java.time.ZoneId;
import java.util.Objects;
import java.util.Properties;

final class RunProperties extends Properties {
  private static final long serialVersionUID = 1L;

  // The value callerValue gives for a property the server cannot answer.
  static final String UNSERVABLE = new String("(unservable)");

  // Variables the JVM reads for its locale properties.
  private static final String[] LOCALE_VARIABLES = {"LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANG"};

  RunProperties(Properties original) {
    putAll(original);
  }

  @Override
  public String getProperty(String key) {
    RunContext run = XslvalidateServer.currentRun();
    if (run == null || !dependsOnCaller(key) || !askedByStylesheet()) {
      return super.getProperty(key);
    }
    String value = callerValue(run, key);
    if (value == UNSERVABLE) {
      throw XslvalidateServer.moveInProcess("system property " + key
                                            + " differs between the caller and the server");
    }
    CompileInputs compile = run.compiling;
    if (compile != null) compile.property(key, value);
    return value;
  }

  @Override
  public String getProperty(String key, String fallback) {
    String value = getProperty(key);
    return value == null ? fallback : value;
  }

  // Whether the calling code is Saxon's system-property() function.
  private static boolean askedByStylesheet() {
    for (StackTraceElement frame : new Throwable().getStackTrace()) {
      if (frame.getClassName().equals(STYLESHEET_FUNCTION)) return true;
    }
    return false;
  }

  private static final String STYLESHEET_FUNCTION = "net.sf.saxon.functions.SystemProperty";

  private static boolean dependsOnCaller(String key) {
    return key.equals("user.dir") || key.equals("user.timezone") || key.equals(LIBRARY_PATH)
        || key.startsWith("user.language")
        || key.startsWith("user.country") || key.startsWith("user.variant")
        || key.startsWith("user.script");
  }

  // What the caller's own JVM would give for `key`, or UNSERVABLE.
  static String callerValue(RunContext run, String key) {
    if (!dependsOnCaller(key)) return System.getProperties().getProperty(key);
    if (key.equals("user.dir")) return run.directory;
    if (key.equals("user.timezone")) return timeZone(run);
    if (key.equals(LIBRARY_PATH)) return libraryPath(run);
    for (String name : LOCALE_VARIABLES) {
      if (!Objects.equals(run.environment.get(name), System.getenv(name))) return UNSERVABLE;
    }
    return SERVER_VALUES.getProperty(key);
  }

  // The JVM's time zone from TZ: its value less a leading ':' or "posix/"
  // when that is a zone the JDK knows; without TZ, the server's own (read
  // from the same system files). Any other TZ is UNSERVABLE.
  private static String timeZone(RunContext run) {
    String tz = run.environment.get("TZ");
    if (tz == null || tz.isEmpty()) {
      String own = System.getenv("TZ");
      return own == null || own.isEmpty() ? SERVER_VALUES.getProperty("user.timezone") : UNSERVABLE;
    }
    if (tz.startsWith(":")) tz = tz.substring(1);
    if (tz.startsWith("posix/")) tz = tz.substring(6);
    return ZoneId.getAvailableZoneIds().contains(tz) ? tz : UNSERVABLE;
  }

  private static final String LIBRARY_PATH = "java.library.path";
  private static final String LIBRARY_VARIABLE = "LD_LIBRARY_PATH";

  // The JVM's library path: LD_LIBRARY_PATH, when set (even empty), then a
  // separator, then the JDK's own folders. The caller's is the server's with
  // the server's variable replaced by the caller's; UNSERVABLE when the
  // server's does not start with its own variable (a JDK that makes it
  // otherwise).
  private static String libraryPath(RunContext run) {
    String own = SERVER_VALUES.getProperty(LIBRARY_PATH, "");
    String ownPrefix = prefixOf(System.getenv(LIBRARY_VARIABLE));
    if (!own.startsWith(ownPrefix)) return UNSERVABLE;
    return prefixOf(run.environment.get(LIBRARY_VARIABLE)) + own.substring(ownPrefix.length());
  }

  private static String prefixOf(String variable) {
    return variable == null ? "" : variable + java.io.File.pathSeparator;
  }

  // The server's own values, as its JVM set them at start.
  private static final Properties SERVER_VALUES = new Properties();

  // Installs the run-aware properties in place of the JVM's; the time zone
  // and the locales are looked up first, outside any run, so the server's
  // own values are set (and its user.timezone with them).
  static void install() {
    java.util.TimeZone.getDefault();
    java.util.Locale.getDefault(java.util.Locale.Category.FORMAT);
    java.util.Locale.getDefault(java.util.Locale.Category.DISPLAY);
    SERVER_VALUES.putAll(System.getProperties());
    System.setProperties(new RunProperties(System.getProperties()));
  }
}
