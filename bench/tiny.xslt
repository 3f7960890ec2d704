<?xml version="1.0" encoding="UTF-8"?>
<!-- A tiny rule set in XSLT 1.0, so that a native XSLT 1.0 processor can
     run it too: every invoice line has an amount. -->
<xsl:stylesheet version="1.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:svrl="http://purl.oclc.org/dsdl/svrl"
    xmlns:ubl="urn:oasis:names:specification:ubl:schema:xsd:Invoice-2"
    xmlns:cac="urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2"
    xmlns:cbc="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2"
    exclude-result-prefixes="ubl cac cbc">
  <xsl:output method="xml" indent="yes"/>
  <xsl:template match="/">
    <svrl:schematron-output title="Tiny rules">
      <xsl:for-each select="/ubl:Invoice/cac:InvoiceLine[not(cbc:LineExtensionAmount)]">
        <svrl:failed-assert id="TINY-01" flag="fatal">
          <svrl:text>Line <xsl:value-of select="cbc:ID"/> has no amount.</svrl:text>
        </svrl:failed-assert>
      </xsl:for-each>
    </svrl:schematron-output>
  </xsl:template>
</xsl:stylesheet>
