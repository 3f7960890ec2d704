<?xml version="1.0" encoding="UTF-8"?>
<!--
  A rule set in the shape SchXslt 1.10 compiles one: its report names the
  active patterns, the findings and suppressed rules, and never a fired
  rule. One rule for UBL invoices: a buyer reference must be there.
-->
<xsl:transform version="2.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:svrl="http://purl.oclc.org/dsdl/svrl"
    xmlns:cbc="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2"
    xmlns:cac="urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2"
    xmlns:ubl="urn:oasis:names:specification:ubl:schema:xsd:Invoice-2">
  <xsl:output indent="yes"/>

  <xsl:template match="/">
    <svrl:schematron-output>
      <svrl:active-pattern documents="{base-uri(.)}" id="buyer"/>
      <xsl:apply-templates select="//element()" mode="d7e12"/>
    </svrl:schematron-output>
  </xsl:template>

  <xsl:template match="ubl:Invoice" mode="d7e12" priority="2">
    <xsl:if test="not(cbc:BuyerReference)">
      <svrl:failed-assert test="cbc:BuyerReference" id="BR-DE-15" flag="fatal"
                          location="/Q{{urn:oasis:names:specification:ubl:schema:xsd:Invoice-2}}Invoice[1]">
        <svrl:text>An invoice must carry a buyer reference.</svrl:text>
      </svrl:failed-assert>
    </xsl:if>
  </xsl:template>

  <!-- A second rule of the pattern on the same context never runs. -->
  <xsl:template match="ubl:Invoice[cac:AccountingSupplierParty]" mode="d7e12" priority="1">
    <svrl:suppressed-rule context="ubl:Invoice"/>
  </xsl:template>

  <xsl:template match="@* | node()" mode="d7e12"/>
</xsl:transform>
