// environment-variable() and available-environment-variables() in the
// engine server: the variables of the caller whose run asks, as the
// library's own process would have them. What a compile asks is recorded
// in its inputs.
import java.util.Map;
import java.util.Set;
import net.sf.saxon.lib.EnvironmentVariableResolver;

final class RunEnvironment implements EnvironmentVariableResolver {
  @Override
  public Set<String> getAvailableEnvironmentVariables() {
    RunContext run = XslvalidateServer.currentRun();
    if (run == null) return System.getenv().keySet();
    CompileInputs compile = run.compiling;
    if (compile != null) compile.allVariables(run.environment);
    return run.environment.keySet();
  }

  @Override
  public String getEnvironmentVariable(String name) {
    RunContext run = XslvalidateServer.currentRun();
    if (run == null) return System.getenv(name);
    String value = run.environment.get(name);
    CompileInputs compile = run.compiling;
    if (compile != null) compile.variable(name, value);
    return value;
  }
}
