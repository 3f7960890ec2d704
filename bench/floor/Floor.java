// The floor the verdict is measured against: the validation work of one
// scenario configuration done the way a validator living in one JVM does
// it, serially on one thread, everything compiled once. Per invoice: parse
// it once, choose the first scenario whose match holds, validate it
// against the scenario's XML Schemas, run each of its rule sets over the
// parsed tree; as a second figure, also run the scenario's report
// stylesheet over an input made of those results.
//
// Usage: java -cp <saxon jar>:<classes> Floor <scenarios.xml> <repository>
//            <rounds> <invoice>...
// Prints, per invoice, the median over `rounds` timed passes (after one
// warming pass over all invoices) of the checking work and of the same
// plus the report, in milliseconds, tab-separated:
//   <invoice>\t<scenario>\t<check ms>\t<check+report ms>
import java.io.File;
import java.io.StringReader;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import javax.xml.XMLConstants;
import javax.xml.transform.stream.StreamSource;
import javax.xml.validation.Schema;
import javax.xml.validation.SchemaFactory;
import javax.xml.validation.Validator;
import net.sf.saxon.s9api.DocumentBuilder;
import net.sf.saxon.s9api.Processor;
import net.sf.saxon.s9api.QName;
import net.sf.saxon.s9api.XPathCompiler;
import net.sf.saxon.s9api.XPathExecutable;
import net.sf.saxon.s9api.XPathSelector;
import net.sf.saxon.s9api.XdmDestination;
import net.sf.saxon.s9api.XdmItem;
import net.sf.saxon.s9api.XdmNode;
import net.sf.saxon.s9api.XsltExecutable;
import net.sf.saxon.s9api.Xslt30Transformer;

public final class Floor {
  private static final String S = "http://www.xoev.de/de/validator/framework/1/scenarios";
  private static final String IN =
      "http://www.xoev.de/de/validator/framework/1/createreportinput";

  // One scenario, compiled.
  private static final class Scenario {
    String name;
    XdmNode element;
    XPathExecutable match;
    Schema schema;  // null when the scenario names none
    final List<XsltExecutable> ruleSets = new ArrayList<>();
    final List<XdmNode> ruleSetResources = new ArrayList<>();
    final List<XdmNode> schemaResources = new ArrayList<>();
    XsltExecutable report;  // null when it names none
  }

  public static void main(String[] args) throws Exception {
    if (args.length < 4) {
      System.err.println("usage: Floor <scenarios.xml> <repository> <rounds> <invoice>...");
      System.exit(2);
    }
    Processor processor = new Processor(false);
    File repository = new File(args[1]);
    int rounds = Integer.parseInt(args[2]);
    List<Scenario> scenarios = compile(processor, new File(args[0]), repository);
    List<File> invoices = new ArrayList<>();
    for (String name : Arrays.copyOfRange(args, 3, args.length)) invoices.add(new File(name));

    for (File invoice : invoices) check(processor, scenarios, invoice, true);  // warming
    long[][] check = new long[invoices.size()][rounds];
    long[][] withReport = new long[invoices.size()][rounds];
    String[] chosen = new String[invoices.size()];
    for (int round = 0; round < rounds; ++round) {
      for (int i = 0; i < invoices.size(); ++i) {
        long start = System.nanoTime();
        chosen[i] = check(processor, scenarios, invoices.get(i), false);
        check[i][round] = System.nanoTime() - start;
        start = System.nanoTime();
        check(processor, scenarios, invoices.get(i), true);
        withReport[i][round] = System.nanoTime() - start;
      }
    }
    for (int i = 0; i < invoices.size(); ++i) {
      System.out.printf("%s\t%s\t%.2f\t%.2f%n", invoices.get(i).getPath(), chosen[i],
          median(check[i]) / 1e6, median(withReport[i]) / 1e6);
    }
  }

  private static long median(long[] values) {
    long[] sorted = values.clone();
    Arrays.sort(sorted);
    return sorted[sorted.length / 2];
  }

  private static List<Scenario> compile(Processor processor, File configuration, File repository)
      throws Exception {
    XdmNode root = processor.newDocumentBuilder().build(configuration);
    XPathCompiler paths = processor.newXPathCompiler();
    paths.declareNamespace("s", S);
    SchemaFactory schemas = SchemaFactory.newInstance(XMLConstants.W3C_XML_SCHEMA_NS_URI);
    List<Scenario> scenarios = new ArrayList<>();
    for (XdmItem item : paths.evaluate("/s:scenarios/s:scenario", root)) {
      XdmNode element = (XdmNode) item;
      Scenario scenario = new Scenario();
      scenario.element = element;
      scenario.name = paths.evaluateSingle("string(s:name)", element).getStringValue();
      XPathCompiler match = processor.newXPathCompiler();
      for (XdmItem ns : paths.evaluate("s:namespace", element)) {
        match.declareNamespace(((XdmNode) ns).getAttributeValue(new QName("prefix")),
            ns.getStringValue().trim());
      }
      scenario.match = match.compile(
          paths.evaluateSingle("string(s:match)", element).getStringValue());
      List<StreamSource> xsd = new ArrayList<>();
      for (XdmItem resource : paths.evaluate("s:validateWithXmlSchema/s:resource", element)) {
        scenario.schemaResources.add((XdmNode) resource);
        String location = paths.evaluateSingle("string(s:location)", resource).getStringValue();
        xsd.add(new StreamSource(new File(repository, location.trim())));
      }
      if (!xsd.isEmpty()) scenario.schema = schemas.newSchema(xsd.toArray(new StreamSource[0]));
      for (XdmItem resource : paths.evaluate("s:validateWithSchematron/s:resource", element)) {
        scenario.ruleSetResources.add((XdmNode) resource);
        String location = paths.evaluateSingle("string(s:location)", resource).getStringValue();
        scenario.ruleSets.add(processor.newXsltCompiler().compile(
            new StreamSource(new File(repository, location.trim()))));
      }
      XdmItem report = paths.evaluateSingle("s:createReport/s:resource/s:location", element);
      if (report != null) {
        scenario.report = processor.newXsltCompiler().compile(
            new StreamSource(new File(repository, report.getStringValue().trim())));
      }
      scenarios.add(scenario);
    }
    return scenarios;
  }

  // Checks one invoice; with `report`, also makes the scenario's report.
  // Returns the chosen scenario's name ("-" when none matched).
  private static String check(Processor processor, List<Scenario> scenarios, File invoice,
                              boolean report) throws Exception {
    DocumentBuilder builder = processor.newDocumentBuilder();
    XdmNode document = builder.build(invoice);
    Scenario chosen = null;
    for (Scenario scenario : scenarios) {
      XPathSelector match = scenario.match.load();
      match.setContextItem(document);
      if (match.effectiveBooleanValue()) {
        chosen = scenario;
        break;
      }
    }
    if (chosen == null) return "-";
    if (chosen.schema != null) {
      Validator validator = chosen.schema.newValidator();
      validator.setErrorHandler(new org.xml.sax.helpers.DefaultHandler());
      validator.validate(new StreamSource(invoice));
    }
    List<XdmNode> svrl = new ArrayList<>();
    for (XsltExecutable ruleSet : chosen.ruleSets) {
      Xslt30Transformer transformer = ruleSet.load30();
      transformer.setGlobalContextItem(document);
      XdmDestination result = new XdmDestination();
      transformer.applyTemplates(document, result);
      svrl.add(result.getXdmNode());
    }
    if (report && chosen.report != null) {
      StringBuilder input = new StringBuilder();
      input.append("<in:createReportInput xmlns:in='").append(IN)
          .append("' frameworkVersion='1.0.0'><in:engine><in:name>floor</in:name></in:engine>")
          .append("<in:timestamp>2026-01-01T00:00:00</in:timestamp>")
          .append("<in:documentIdentification><in:documentHash><in:hashAlgorithm>SHA-256")
          .append("</in:hashAlgorithm><in:hashValue>x</in:hashValue></in:documentHash>")
          .append("<in:documentReference>").append(invoice.getName())
          .append("</in:documentReference></in:documentIdentification>")
          .append(chosen.element.toString())
          .append("<in:validationResultsWellformedness/>");
      if (!chosen.schemaResources.isEmpty()) {
        input.append("<in:validationResultsXmlSchema>");
        for (XdmNode resource : chosen.schemaResources) input.append(resource.toString());
        input.append("</in:validationResultsXmlSchema>");
      }
      for (int i = 0; i < svrl.size(); ++i) {
        input.append("<in:validationResultsSchematron>")
            .append(chosen.ruleSetResources.get(i).toString())
            .append("<in:results>")
            .append(svrl.get(i).toString())
            .append("</in:results></in:validationResultsSchematron>");
      }
      input.append("</in:createReportInput>");
      XdmNode inputNode =
          builder.build(new StreamSource(new StringReader(input.toString())));
      Xslt30Transformer transformer = chosen.report.load30();
      java.util.Map<QName, net.sf.saxon.s9api.XdmValue> parameters = new java.util.HashMap<>();
      parameters.put(new QName("input-document"), document);
      transformer.setStylesheetParameters(parameters);
      transformer.setGlobalContextItem(inputNode);
      transformer.applyTemplates(inputNode, new XdmDestination());
    }
    return chosen.name;
  }
}
