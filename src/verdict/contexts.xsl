<?xml version="1.0" encoding="UTF-8"?>
<!--
  Lists the namespaces a rule set's rules can apply to, read from the
  stylesheet as XML (it is given as the source document).

  One line per namespace URI named by an element name test (prefix:name or
  prefix:*) in the match pattern of any xsl:template of the stylesheet or
  of a module it imports or includes, each URI once, escaped as in
  summary.xsl. Every generator of rule sets (the ISO skeleton, SchXslt and
  others) turns a Schematron rule's context into such a template, with the
  prefixes of the schema's ns declarations bound on the stylesheet, so
  whatever the generator writes into its reports, its rules' contexts are
  here. Attribute tests, variable references, function names and string
  literals are not names of the document's elements and are left out;
  unprefixed names and wildcards name no namespace.
-->
<xsl:stylesheet version="3.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:xs="http://www.w3.org/2001/XMLSchema"
    xmlns:v="urn:xslvalidate:verdict"
    exclude-result-prefixes="xs v">

  <xsl:output method="text" encoding="UTF-8"/>

  <xsl:function name="v:field" as="xs:string">
    <xsl:param name="value" as="xs:string"/>
    <xsl:sequence select="replace(replace(replace(replace($value,
        '\\', '\\\\'), '&#9;', '\\t'), '&#10;', '\\n'), '&#13;', '\\r')"/>
  </xsl:function>

  <!-- The namespace URIs named by element tests in one template's pattern. -->
  <xsl:function name="v:pattern-names" as="xs:string*">
    <xsl:param name="template" as="element()"/>
    <xsl:variable name="pattern"
        select="replace(string($template/@match), '''[^'']*''|&quot;[^&quot;]*&quot;', ' ')"/>
    <xsl:analyze-string select="$pattern"
        regex="(@\s*|attribute\s*::\s*|\$\s*)?([\i-[:]][\c-[:]]*):([\i-[:]][\c-[:]]*|\*)(\s*\()?|Q\{{([^}}]*)\}}">
      <xsl:matching-substring>
        <xsl:choose>
          <xsl:when test="regex-group(5) != ''">
            <xsl:sequence select="regex-group(5)"/>
          </xsl:when>
          <xsl:when test="regex-group(1) = '' and regex-group(4) = ''">
            <xsl:sequence select="string(namespace-uri-for-prefix(regex-group(2), $template))"/>
          </xsl:when>
        </xsl:choose>
      </xsl:matching-substring>
    </xsl:analyze-string>
  </xsl:function>

  <!-- The names of `module` and of every module it imports or includes;
       `seen` holds the modules on the way here, so a cycle ends. -->
  <xsl:function name="v:module-names" as="xs:string*">
    <xsl:param name="module" as="document-node()"/>
    <xsl:param name="seen" as="xs:string*"/>
    <xsl:sequence select="
        for $template in $module//xsl:template[@match]
        return v:pattern-names($template),
        for $reference in $module//(xsl:import | xsl:include)[@href]
        return
          let $uri := string(resolve-uri($reference/@href, base-uri($reference)))
          return if ($uri = $seen or not(doc-available($uri))) then ()
                 else v:module-names(doc($uri), ($seen, $uri))"/>
  </xsl:function>

  <xsl:template match="/">
    <xsl:for-each select="distinct-values(v:module-names(/, string(document-uri(/))))[. != '']">
      <xsl:value-of select="concat(v:field(.), '&#10;')"/>
    </xsl:for-each>
  </xsl:template>
</xsl:stylesheet>
