// Where a node of a source document is: the line and column the parser
// reported for it, read by a stylesheet as
// Q{urn:xslvalidate:source-lines}line-number($node) and column-number($node).
// Saxon-HE keeps these positions when the document is built with line
// numbering (a run's "-l:on", RunOptions) but has no function to read them
// (saxon:line-number is not in HE); these two are integrated extension
// functions, which HE takes when registered on its Configuration. Both are
// -1 where the document was built without line numbering. An attribute
// or a text node gives its element's position: the parser reports
// positions for elements only.
import net.sf.saxon.Configuration;
import net.sf.saxon.expr.XPathContext;
import net.sf.saxon.lib.ExtensionFunctionCall;
import net.sf.saxon.lib.ExtensionFunctionDefinition;
import net.sf.saxon.om.NodeInfo;
import net.sf.saxon.om.Sequence;
import net.sf.saxon.om.StructuredQName;
import net.sf.saxon.trans.XPathException;
import net.sf.saxon.type.Type;
import net.sf.saxon.value.Int64Value;
import net.sf.saxon.value.SequenceType;

public final class SourceLines extends ExtensionFunctionDefinition {
  static final String NAMESPACE = "urn:xslvalidate:source-lines";

  private final boolean column;

  private SourceLines(boolean column) {
    this.column = column;
  }

  // Makes both functions known to stylesheets compiled under `config`.
  public static void register(Configuration config) {
    config.registerExtensionFunction(new SourceLines(false));
    config.registerExtensionFunction(new SourceLines(true));
  }

  @Override
  public StructuredQName getFunctionQName() {
    return new StructuredQName("", NAMESPACE, column ? "column-number" : "line-number");
  }

  @Override
  public SequenceType[] getArgumentTypes() {
    return new SequenceType[] {SequenceType.SINGLE_NODE};
  }

  @Override
  public SequenceType getResultType(SequenceType[] suppliedArgumentTypes) {
    return SequenceType.SINGLE_INTEGER;
  }

  @Override
  public ExtensionFunctionCall makeCallExpression() {
    return new Call(column);
  }

  private static final class Call extends ExtensionFunctionCall {
    private final boolean column;

    Call(boolean column) {
      this.column = column;
    }

    @Override
    @SuppressWarnings("rawtypes")
    public Sequence<?> call(XPathContext context, Sequence[] arguments) throws XPathException {
      NodeInfo node = (NodeInfo) arguments[0].head();
      if (node.getNodeKind() != Type.ELEMENT && node.getParent() != null) node = node.getParent();
      return Int64Value.makeIntegerValue(column ? node.getColumnNumber() : node.getLineNumber());
    }
  }
}
