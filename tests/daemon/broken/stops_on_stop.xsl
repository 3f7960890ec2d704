<?xml version="1.0" encoding="UTF-8"?>
<!-- Stops its run on a document whose root is "stop", after starting an
     SVRL report; any other document gets an SVRL report with no finding. -->
<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:svrl="http://purl.oclc.org/dsdl/svrl">
  <xsl:template match="/">
    <svrl:schematron-output>
      <svrl:fired-rule context="/"/>
      <xsl:apply-templates select="stop"/>
    </svrl:schematron-output>
  </xsl:template>
  <xsl:template match="stop">
    <svrl:failed-assert id="NEW-1" flag="fatal"><svrl:text>partial</svrl:text></svrl:failed-assert>
    <xsl:message terminate="yes">Run stopped after writing part of its report</xsl:message>
  </xsl:template>
</xsl:stylesheet>
