<?xml version="1.0" encoding="UTF-8"?>
<!-- A well-formed report that is not SVRL. -->
<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="/">
    <html xmlns="http://www.w3.org/1999/xhtml"><body>all fine</body></html>
  </xsl:template>
</xsl:stylesheet>
