<?xml version="1.0" encoding="UTF-8"?>
<!-- Writes which document it read (the last step of its URI) and what it
     counted there, so a test can tell that the engine opened the named file. -->
<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" indent="no"/>
  <xsl:template match="/">
    <report source="{tokenize(document-uri(/), '/')[last()]}" items="{count(//item)}"/>
  </xsl:template>
</xsl:stylesheet>
