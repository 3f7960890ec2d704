<?xml version="1.0" encoding="UTF-8"?>
<!--
  Takes the HTML a validation report (rep:report) embeds as its
  assessment's explanation out of it, as a page of its own; a report
  without one gives an empty file.
-->
<xsl:stylesheet version="2.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:rep="http://www.xoev.de/de/validator/varl/1"
    exclude-result-prefixes="rep">

  <xsl:output method="xhtml" encoding="UTF-8" omit-xml-declaration="yes"/>

  <xsl:template match="/">
    <xsl:copy-of select="(/rep:report/rep:assessment/*/rep:explanation/*)[1]"/>
  </xsl:template>
</xsl:stylesheet>
