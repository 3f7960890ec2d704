<?xml version="1.0" encoding="UTF-8"?>
<!-- An SVRL report without findings from a stylesheet the engine warns
     about when it compiles it (a variable that has no effect). -->
<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:svrl="http://purl.oclc.org/dsdl/svrl">
  <xsl:template match="/">
    <svrl:schematron-output title="warns">
      <svrl:fired-rule context="/"/>
    </svrl:schematron-output>
    <xsl:variable name="unused" select="1"/>
  </xsl:template>
</xsl:stylesheet>
