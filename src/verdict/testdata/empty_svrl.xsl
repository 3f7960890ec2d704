<?xml version="1.0" encoding="UTF-8"?>
<!-- An SVRL report without a single finding. -->
<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:svrl="http://purl.oclc.org/dsdl/svrl">
  <xsl:template match="/">
    <svrl:schematron-output title="nothing to say">
      <svrl:active-pattern id="p"/>
      <svrl:fired-rule context="/"/>
    </svrl:schematron-output>
  </xsl:template>
</xsl:stylesheet>
