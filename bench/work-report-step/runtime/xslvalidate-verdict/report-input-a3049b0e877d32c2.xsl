<?xml version="1.0" encoding="UTF-8"?>
<!--
  Makes the input of a configuration's report stylesheet, the reference
  validator's createReportInput document, from the outline the verdict
  writes (root x:report-input around the in:createReportInput to make).

  The outline holds everything the verdict knows as text; what is XML in
  files is copied from them as parsed, never pasted as text:
    x:scenario        the scenario element at position @index of the
                      configuration at @configuration, as written there
                      (comments left out);
    x:svrl            the root element of the SVRL report at @href;
    in:timestamp      filled in with the time of this run;
    in:engine         gets the XSLT processor's name and version as info.
  Everything else is copied as it is.
-->
<xsl:stylesheet version="3.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:x="urn:xslvalidate:report-input"
    xmlns:in="http://www.xoev.de/de/validator/framework/1/createreportinput"
    xmlns:s="http://www.xoev.de/de/validator/framework/1/scenarios"
    exclude-result-prefixes="x">

  <xsl:output method="xml" encoding="UTF-8"/>

  <xsl:template match="/x:report-input">
    <xsl:apply-templates select="in:createReportInput"/>
  </xsl:template>

  <xsl:template match="node() | @*">
    <xsl:copy>
      <xsl:apply-templates select="node() | @*"/>
    </xsl:copy>
  </xsl:template>

  <xsl:template match="in:timestamp">
    <xsl:copy>
      <xsl:value-of select="current-dateTime()"/>
    </xsl:copy>
  </xsl:template>

  <xsl:template match="in:engine">
    <xsl:copy>
      <xsl:apply-templates select="node() | @*"/>
      <in:info key="xsltProcessor">
        <xsl:value-of select="system-property('xsl:product-name'),
                              system-property('xsl:product-version')"/>
      </in:info>
    </xsl:copy>
  </xsl:template>

  <xsl:template match="x:scenario">
    <xsl:apply-templates mode="without-comments"
        select="doc(@configuration)/s:scenarios/s:scenario[position() = xs:integer(current()/@index)]"
        xmlns:xs="http://www.w3.org/2001/XMLSchema"/>
  </xsl:template>

  <xsl:template match="x:svrl">
    <xsl:copy-of select="doc(@href)/*"/>
  </xsl:template>

  <xsl:template match="*" mode="without-comments">
    <xsl:copy>
      <xsl:copy-of select="@*"/>
      <xsl:apply-templates select="node()" mode="without-comments"/>
    </xsl:copy>
  </xsl:template>
  <xsl:template match="text() | processing-instruction()" mode="without-comments">
    <xsl:copy/>
  </xsl:template>
  <xsl:template match="comment()" mode="without-comments"/>
</xsl:stylesheet>
