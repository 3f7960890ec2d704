// environment-variable() and available-environment-variables() in the
// engine server: the variables of the caller whose run asks, as the
// library's own process would have them.
import java.util.Map;
import java.util.Set;
import net.sf.saxon.lib.EnvironmentVariableResolver;

final class RunEnvironment implements EnvironmentVariableResolver {
  @Override
  public Set<String> getAvailableEnvironmentVariables() {
    return variables().keySet();
  }

  @Override
  public String getEnvironmentVariable(String name) {
    return variables().get(name);
  }

  private static Map<String, String> variables() {
    RunContext run = XslvalidateServer.currentRun();
    return run == null ? System.getenv() : run.environment;
  }
}
