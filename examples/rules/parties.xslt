<?xml version="1.0" encoding="UTF-8"?>
<!--
  Example rule set: the invoice names itself and its parties.
  Writes an SVRL report: one svrl:failed-assert per missing element.
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
    <svrl:schematron-output title="Example party rules">
      <svrl:active-pattern id="parties"/>
      <xsl:apply-templates select="ubl:Invoice"/>
    </svrl:schematron-output>
  </xsl:template>

  <xsl:template match="ubl:Invoice">
    <xsl:variable name="seller" select="cac:AccountingSupplierParty/cac:Party"/>
    <xsl:variable name="buyer" select="cac:AccountingCustomerParty/cac:Party"/>
    <svrl:fired-rule context="/ubl:Invoice"/>
    <xsl:sequence select="svrl:assert('PTY-01', exists(cbc:ID),
        'The invoice has a number.')"/>
    <xsl:sequence select="svrl:assert('PTY-02', cbc:IssueDate castable as xs:date,
        'The invoice has a valid issue date.')"/>
    <xsl:sequence select="svrl:assert('PTY-03', normalize-space($seller/cac:PartyName/cbc:Name) != '',
        'The seller is named.')"/>
    <xsl:sequence select="svrl:assert('PTY-04', exists($seller/cac:PartyTaxScheme/cbc:CompanyID),
        'The seller''s VAT number is given.')"/>
    <xsl:sequence select="svrl:assert('PTY-05', normalize-space($buyer/cac:PartyName/cbc:Name) != '',
        'The buyer is named.')"/>
  </xsl:template>

  <!-- A failed assertion when $test is false, nothing otherwise. -->
  <xsl:function name="svrl:assert" as="element()?">
    <xsl:param name="id" as="xs:string"/>
    <xsl:param name="test" as="xs:boolean"/>
    <xsl:param name="text" as="xs:string"/>
    <xsl:if test="not($test)">
      <svrl:failed-assert id="{$id}" flag="fatal">
        <svrl:text><xsl:value-of select="$text"/></svrl:text>
      </svrl:failed-assert>
    </xsl:if>
  </xsl:function>
</xsl:stylesheet>
