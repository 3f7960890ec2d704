<?xml version="1.0" encoding="UTF-8"?>
<!--
  Example rule set: the invoice's totals add up.
  Writes an SVRL report: one svrl:failed-assert per broken rule.
-->
<xsl:stylesheet version="2.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:xs="http://www.w3.org/2001/XMLSchema"
    xmlns:svrl="http://purl.oclc.org/dsdl/svrl"
    xmlns:ubl="urn:oasis:names:specification:ubl:schema:xsd:Invoice-2"
    xmlns:cac="urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2"
    xmlns:cbc="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2"
    exclude-result-prefixes="xs ubl cac cbc">

  <xsl:output method="xml" indent="yes"/>

  <xsl:template match="/">
    <svrl:schematron-output title="Example totals rules">
      <svrl:active-pattern id="totals"/>
      <xsl:apply-templates select="ubl:Invoice"/>
    </svrl:schematron-output>
  </xsl:template>

  <xsl:template match="ubl:Invoice">
    <xsl:variable name="totals" select="cac:LegalMonetaryTotal"/>
    <xsl:variable name="lineSum" as="xs:decimal"
        select="sum(cac:InvoiceLine/cbc:LineExtensionAmount/xs:decimal(.))"/>
    <svrl:fired-rule context="/ubl:Invoice"/>

    <xsl:call-template name="assert">
      <xsl:with-param name="id" select="'TOT-01'"/>
      <xsl:with-param name="test" select="$lineSum = xs:decimal($totals/cbc:LineExtensionAmount)"/>
      <xsl:with-param name="text">The sum of the line amounts equals the invoice's line total.</xsl:with-param>
    </xsl:call-template>

    <xsl:call-template name="assert">
      <xsl:with-param name="id" select="'TOT-02'"/>
      <xsl:with-param name="test" select="xs:decimal($totals/cbc:TaxExclusiveAmount)
          + xs:decimal(cac:TaxTotal/cbc:TaxAmount) = xs:decimal($totals/cbc:TaxInclusiveAmount)"/>
      <xsl:with-param name="text">The total without VAT plus the VAT equals the total with VAT.</xsl:with-param>
    </xsl:call-template>

    <xsl:for-each select="cac:InvoiceLine">
      <xsl:call-template name="assert">
        <xsl:with-param name="id" select="'TOT-03'"/>
        <xsl:with-param name="test" select="xs:decimal(cbc:InvoicedQuantity) * xs:decimal(cac:Price/cbc:PriceAmount)
            = xs:decimal(cbc:LineExtensionAmount)"/>
        <xsl:with-param name="text">Line <xsl:value-of select="cbc:ID"/>: quantity times price equals the line amount.</xsl:with-param>
      </xsl:call-template>
    </xsl:for-each>
  </xsl:template>

  <!-- Writes a failed assertion when $test is false, nothing otherwise. -->
  <xsl:template name="assert">
    <xsl:param name="id" as="xs:string"/>
    <xsl:param name="test" as="xs:boolean"/>
    <xsl:param name="text"/>
    <xsl:if test="not($test)">
      <svrl:failed-assert id="{$id}" flag="fatal" test="{$id}">
        <svrl:text><xsl:value-of select="$text"/></svrl:text>
      </svrl:failed-assert>
    </xsl:if>
  </xsl:template>
</xsl:stylesheet>
