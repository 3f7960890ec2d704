<?xml version="1.0" encoding="UTF-8"?>
<!-- Writes an empty text report. -->
<xsl:stylesheet version="3.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:template match="/"/>
</xsl:stylesheet>
