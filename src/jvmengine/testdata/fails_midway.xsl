<?xml version="1.0" encoding="UTF-8"?>
<!-- Writes far more output than a buffer holds, then stops the run: what
     was written so far must never show at the report path. -->
<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="/">
    <report>
      <xsl:for-each select="1 to 200000">
        <line n="{.}">written before the run fails</line>
      </xsl:for-each>
      <xsl:message terminate="yes">Run stopped after writing part of its report</xsl:message>
    </report>
  </xsl:template>
</xsl:stylesheet>
