<?xml version="1.0" encoding="UTF-8"?>
<!-- A report that is not XML at all. -->
<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:template match="/">no findings &lt;here</xsl:template>
</xsl:stylesheet>
