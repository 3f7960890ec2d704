<?xml version="1.0" encoding="UTF-8"?>
<!-- Starts an SVRL report, then stops the run. -->
<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:svrl="http://purl.oclc.org/dsdl/svrl">
  <xsl:template match="/">
    <svrl:schematron-output>
      <svrl:failed-assert id="NEW-1" flag="fatal"><svrl:text>partial</svrl:text></svrl:failed-assert>
      <xsl:message terminate="yes">Run stopped after writing part of its report</xsl:message>
    </svrl:schematron-output>
  </xsl:template>
</xsl:stylesheet>
