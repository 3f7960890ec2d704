// A file named relative to another directory than the JVM's own: the
// engine server's runs take a caller's relative names against the caller's
// current directory. Every file operation uses the resolved path; the
// name shows as the caller gave it (toString), so that messages read as
// they would in the caller's own process.

import java.io.File;

final class GivenNameFile extends File {
  private static final long serialVersionUID = 1L;

  private final String givenName;

  GivenNameFile(File directory, String givenName) {
    super(directory, givenName);
    this.givenName = givenName;
  }

  @Override
  public String toString() {
    return givenName;
  }
}
