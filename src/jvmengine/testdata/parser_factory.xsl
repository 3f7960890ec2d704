<?xml version="1.0" encoding="UTF-8"?>
<!-- Writes which SAX parser factory JAXP's system property names, if any. -->
<xsl:stylesheet version="3.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:template match="/">
    <xsl:value-of select="system-property('javax.xml.parsers.SAXParserFactory')"/>
  </xsl:template>
</xsl:stylesheet>
