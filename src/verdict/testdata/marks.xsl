<?xml version="1.0" encoding="UTF-8"?>
<!-- Decides by the document's own word: a root element with ok="no" gets
     one fatal finding (rule OK-1) whose message ends with the root's "why"
     attribute, whatever text that holds; any other document gets none. -->
<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:svrl="http://purl.oclc.org/dsdl/svrl">
  <xsl:template match="/">
    <svrl:schematron-output title="marks">
      <svrl:active-pattern id="p"/>
      <svrl:fired-rule context="/*"/>
      <xsl:if test="/*/@ok = 'no'">
        <svrl:failed-assert id="OK-1" flag="fatal" location="/*[1]" test="@ok = 'yes'">
          <svrl:text>The document says it is not ok: <xsl:value-of select="/*/@why"/></svrl:text>
        </svrl:failed-assert>
      </xsl:if>
    </svrl:schematron-output>
  </xsl:template>
</xsl:stylesheet>
