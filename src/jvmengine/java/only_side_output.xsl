<?xml version="1.0" encoding="UTF-8"?>
<!-- Writes only a secondary document, nothing to the principal output. -->
<xsl:stylesheet version="3.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="/">
    <xsl:result-document href="side.xml"><side/></xsl:result-document>
  </xsl:template>
</xsl:stylesheet>
