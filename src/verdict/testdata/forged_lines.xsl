<?xml version="1.0" encoding="UTF-8"?>
<!-- SVRL findings that try to forge output lines and reach the terminal:
     line breaks in id, location and text, BEL and ESC (the report is
     XML 1.1, which may hold them, written as text since the stylesheet
     itself cannot), and flags with white space around them that must still
     count as fatal or error. -->
<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text" encoding="UTF-8"/>
  <xsl:template match="/">
    <xsl:text>&lt;?xml version="1.1" encoding="UTF-8"?&gt;
&lt;svrl:schematron-output xmlns:svrl="http://purl.oclc.org/dsdl/svrl"&gt;
  &lt;svrl:fired-rule context="/"/&gt;
  &lt;svrl:failed-assert id="R1&amp;#10;accepted: d.xml" flag=" fatal" test="t" location="/a&amp;#13;/b"&gt;
    &lt;svrl:text&gt;bell&amp;#x7;&amp;#10;escape &amp;#x1B;[2J done&lt;/svrl:text&gt;
  &lt;/svrl:failed-assert&gt;
  &lt;svrl:failed-assert id="R2" flag="fatal&amp;#10;" test="t" location="/"&gt;
    &lt;svrl:text&gt;two&lt;/svrl:text&gt;
  &lt;/svrl:failed-assert&gt;
  &lt;svrl:failed-assert id="R3" flag="ERROR&#xA0;" test="t" location="/"&gt;
    &lt;svrl:text&gt;three&lt;/svrl:text&gt;
  &lt;/svrl:failed-assert&gt;
&lt;/svrl:schematron-output&gt;
</xsl:text>
  </xsl:template>
</xsl:stylesheet>
