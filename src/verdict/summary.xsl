<?xml version="1.0" encoding="UTF-8"?>
<!--
  Turns one report into the line summary that xslvalidate-verdict reads.

  First line: "svrl" when the root element is svrl:schematron-output,
  otherwise "not-svrl", a tab and the root element's name as {uri}local.
  Then, for an SVRL report, one line per svrl:failed-assert and
  svrl:successful-report in document order, five tab-separated fields:
    kind (failed-assert | successful-report), id, flag, location, text
  where text is the finding's svrl:text children joined by a space. In
  every field a backslash is written \\, a tab \t, a line feed \n and a
  carriage return \r, so any text fits on its line; an attribute that is
  absent is the two characters \- (an empty one is an empty field).
-->
<xsl:stylesheet version="2.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:xs="http://www.w3.org/2001/XMLSchema"
    xmlns:svrl="http://purl.oclc.org/dsdl/svrl"
    xmlns:v="urn:xslvalidate:verdict"
    exclude-result-prefixes="xs svrl v">

  <xsl:output method="text" encoding="UTF-8"/>

  <xsl:function name="v:field" as="xs:string">
    <xsl:param name="value" as="xs:string"/>
    <xsl:sequence select="replace(replace(replace(replace($value,
        '\\', '\\\\'), '&#9;', '\\t'), '&#10;', '\\n'), '&#13;', '\\r')"/>
  </xsl:function>

  <xsl:function name="v:attribute" as="xs:string">
    <xsl:param name="attribute" as="attribute()?"/>
    <xsl:sequence select="if (empty($attribute)) then '\-' else v:field(string($attribute))"/>
  </xsl:function>

  <xsl:template match="/">
    <xsl:variable name="root" select="*[1]"/>
    <xsl:choose>
      <xsl:when test="$root/self::svrl:schematron-output">
        <xsl:text>svrl&#10;</xsl:text>
        <xsl:for-each select="//(svrl:failed-assert | svrl:successful-report)">
          <xsl:value-of select="string-join((local-name(),
              v:attribute(@id), v:attribute(@flag), v:attribute(@location),
              v:field(string-join(svrl:text, ' '))), '&#9;')"/>
          <xsl:text>&#10;</xsl:text>
        </xsl:for-each>
      </xsl:when>
      <xsl:otherwise>
        <xsl:value-of select="concat('not-svrl&#9;',
            v:field(concat('{', namespace-uri($root), '}', local-name($root))))"/>
        <xsl:text>&#10;</xsl:text>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>
</xsl:stylesheet>
