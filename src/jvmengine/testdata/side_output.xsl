<?xml version="1.0" encoding="UTF-8"?>
<!-- Writes a second document through a relative href, and tells in the
     report which output URI the run had, so a test can tell that both are
     taken from the report's path. -->
<xsl:stylesheet version="3.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" indent="no"/>
  <xsl:template match="/">
    <xsl:result-document href="side.xml">
      <side output="{tokenize(current-output-uri(), '/')[last()]}"/>
    </xsl:result-document>
    <report output="{tokenize(current-output-uri(), '/')[last()]}" items="{count(//item)}"/>
  </xsl:template>
</xsl:stylesheet>
