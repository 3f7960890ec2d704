<?xml version="1.0" encoding="UTF-8"?>
<!-- Decides by the document's own word: a root element with ok="no" gets
     one fatal finding (rule OK-1), with a message holding markup; any
     other document gets none. -->
<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:svrl="http://purl.oclc.org/dsdl/svrl">
  <xsl:template match="/">
    <svrl:schematron-output title="marks">
      <svrl:active-pattern id="p"/>
      <svrl:fired-rule context="/*"/>
      <xsl:if test="/*/@ok = 'no'">
        <svrl:failed-assert id="OK-1" flag="fatal" location="/*[1]" test="@ok = 'yes'">
          <svrl:text>The document says it is not ok: &lt;b&gt;&amp;&lt;/b&gt;</svrl:text>
        </svrl:failed-assert>
      </xsl:if>
    </svrl:schematron-output>
  </xsl:template>
</xsl:stylesheet>
