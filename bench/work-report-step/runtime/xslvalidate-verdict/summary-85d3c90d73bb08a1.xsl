<?xml version="1.0" encoding="UTF-8"?>
<!--
  Turns one report into the line summary that xslvalidate-verdict reads.

  First line: "svrl", a tab and the number of svrl:fired-rule elements when
  the root element is svrl:schematron-output, otherwise "not-svrl", a tab
  and the root element's name as {uri}local.
  For a document that is neither, the head has one more field for each
  namespace URI its elements are in, each once (the empty URI for elements
  in no namespace): what a rule set's contexts must name to apply to it.
  Then, for an SVRL report, one line per svrl:failed-assert and
  svrl:successful-report in document order, six tab-separated fields:
    kind (failed-assert | successful-report), id, flag, location, test, text
  where text is the finding's svrl:text children joined by a space. In
  every field a backslash is written \\, a tab \t, a line feed \n and a
  carriage return \r, so any text fits on its line; an attribute that is
  absent is the two characters \- (an empty one is an empty field).

  For a schema report (root element schema-report in the namespace
  urn:xslvalidate:schema-report) the first line is "schema-report", a tab
  and its valid attribute; then one line per finding, five fields:
    schema, severity, line, column, text
-->
<xsl:stylesheet version="2.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:xs="http://www.w3.org/2001/XMLSchema"
    xmlns:svrl="http://purl.oclc.org/dsdl/svrl"
    xmlns:v="urn:xslvalidate:verdict"
    xmlns:sr="urn:xslvalidate:schema-report"
    exclude-result-prefixes="xs svrl v sr">

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
        <xsl:value-of select="concat('svrl&#9;', count(//svrl:fired-rule))"/>
        <xsl:text>&#10;</xsl:text>
        <xsl:for-each select="//(svrl:failed-assert | svrl:successful-report)">
          <xsl:value-of select="string-join((local-name(),
              v:attribute(@id), v:attribute(@flag), v:attribute(@location),
              v:attribute(@test),
              v:field(string-join(svrl:text, ' '))), '&#9;')"/>
          <xsl:text>&#10;</xsl:text>
        </xsl:for-each>
      </xsl:when>
      <xsl:when test="$root/self::sr:schema-report">
        <xsl:value-of select="concat('schema-report&#9;', v:field(string($root/@valid)))"/>
        <xsl:text>&#10;</xsl:text>
        <xsl:for-each select="$root/sr:finding">
          <xsl:value-of select="string-join(('schema', v:field(string(@severity)),
              v:field(string(@line)), v:field(string(@column)), v:field(string(.))), '&#9;')"/>
          <xsl:text>&#10;</xsl:text>
        </xsl:for-each>
      </xsl:when>
      <xsl:otherwise>
        <xsl:value-of select="string-join(('not-svrl',
            v:field(concat('{', namespace-uri($root), '}', local-name($root))),
            for $uri in distinct-values(//*/string(namespace-uri(.))) return v:field($uri)),
            '&#9;')"/>
        <xsl:text>&#10;</xsl:text>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>
</xsl:stylesheet>
