// Prints the class of the SAX parser factory that JAXP's own lookup finds in
// a plain JVM on the class path given to `java` (run as a source file).
class ParserFactoryProbe {
  public static void main(String[] args) {
    System.out.print(javax.xml.parsers.SAXParserFactory.newInstance().getClass().getName());
  }
}
