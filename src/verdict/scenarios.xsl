<?xml version="1.0" encoding="UTF-8"?>
<!--
  Turns a scenario configuration (scenarios.xml) into the line summary that
  xslvalidate-verdict reads.

  First line: "scenarios", a tab and the configuration's name when the root
  element is s:scenarios, otherwise "not-scenarios", a tab and the root
  element's name as {uri}local. Then, for a configuration, per scenario in
  document order:
    scenario   <name>
    namespace  <prefix> <uri>        one per s:namespace
    match      <XPath>               one per s:match
    schema     <location>            one per validateWithXmlSchema resource
    schematron <location> <name>     one per validateWithSchematron resource
    level      <level> <rule id>     one per id of each createReport/customLevel
  Fields are tab-separated and escaped as in summary.xsl: a backslash is
  written \\, a tab \t, a line feed \n and a carriage return \r.
-->
<xsl:stylesheet version="2.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:xs="http://www.w3.org/2001/XMLSchema"
    xmlns:s="http://www.xoev.de/de/validator/framework/1/scenarios"
    xmlns:v="urn:xslvalidate:verdict"
    exclude-result-prefixes="xs s v">

  <xsl:output method="text" encoding="UTF-8"/>

  <xsl:function name="v:field" as="xs:string">
    <xsl:param name="value" as="xs:string"/>
    <xsl:sequence select="replace(replace(replace(replace($value,
        '\\', '\\\\'), '&#9;', '\\t'), '&#10;', '\\n'), '&#13;', '\\r')"/>
  </xsl:function>

  <xsl:function name="v:line" as="xs:string">
    <xsl:param name="fields" as="xs:string*"/>
    <xsl:sequence select="concat(string-join(for $f in $fields return v:field($f), '&#9;'), '&#10;')"/>
  </xsl:function>

  <xsl:template match="/">
    <xsl:variable name="root" select="*[1]"/>
    <xsl:choose>
      <xsl:when test="$root/self::s:scenarios">
        <xsl:value-of select="v:line(('scenarios', normalize-space($root/s:name)))"/>
        <xsl:for-each select="$root/s:scenario">
          <xsl:value-of select="v:line(('scenario', normalize-space(s:name)))"/>
          <xsl:for-each select="s:namespace">
            <xsl:value-of select="v:line(('namespace', string(@prefix), normalize-space(.)))"/>
          </xsl:for-each>
          <xsl:for-each select="s:match">
            <xsl:value-of select="v:line(('match', string(.)))"/>
          </xsl:for-each>
          <xsl:for-each select="s:validateWithXmlSchema/s:resource">
            <xsl:value-of select="v:line(('schema', normalize-space(s:location)))"/>
          </xsl:for-each>
          <xsl:for-each select="s:validateWithSchematron/s:resource">
            <xsl:value-of select="v:line(('schematron', normalize-space(s:location),
                normalize-space(s:name)))"/>
          </xsl:for-each>
          <xsl:for-each select="s:createReport/s:customLevel">
            <xsl:variable name="level" select="normalize-space(@level)"/>
            <xsl:for-each select="tokenize(normalize-space(.), ' ')[. != '']">
              <xsl:value-of select="v:line(('level', $level, .))"/>
            </xsl:for-each>
          </xsl:for-each>
        </xsl:for-each>
      </xsl:when>
      <xsl:otherwise>
        <xsl:value-of select="v:line(('not-scenarios',
            concat('{', namespace-uri($root), '}', local-name($root))))"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>
</xsl:stylesheet>
