<?xml version="1.0" encoding="UTF-8"?>
<!-- Where the element b and its attribute x are in the source, as the
     engine's source-line functions give them: "line column line column". -->
<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:sl="urn:xslvalidate:source-lines">
  <xsl:output method="text"/>
  <xsl:template match="/">
    <xsl:value-of select="sl:line-number(//b), sl:column-number(//b),
                          sl:line-number(//b/@x), sl:column-number(//b/@x)"/>
  </xsl:template>
</xsl:stylesheet>
