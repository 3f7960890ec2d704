<?xml version="1.0" encoding="UTF-8"?>
<!--
  What the verdict's page shows of the document itself, run over the
  document (built with line numbers where the engine keeps them) as a line
  summary that xslvalidate-verdict reads.

  Beside its output, under the name page-locations.xml, it reads the list
  of the findings' locations, each already read into steps
  (location_steps.h), as
    <locations xmlns="urn:xslvalidate:page-locations">
      <location><step kind="element|attribute|text" space="uri|prefix|any|none"
                      uri="..." prefix="..." local="name|*" position="n|0"/>...</location>
    </locations>
  (a location with no step could not be read). Steps are followed as data:
  nothing of a location is evaluated.

  First line: "page", a tab and 1 when the engine gives source lines
  (Q{urn:xslvalidate:source-lines}line-number is there), else 0.
  Second line: "id" and seven fields: the syntax (ubl-invoice,
  ubl-creditnote, cii or empty), invoice number, issue date, seller, buyer,
  amount due and its currency (empty where the document has none).
  Then one line per location, in order: "at", line, column (0 0 when the
  location matches nothing or lines are not given, the first match
  counting), and the value of the node it names when that is an attribute,
  a text node or an element without element children (at most 200
  characters), else \-. Fields are escaped as in summary.xsl.
-->
<xsl:stylesheet version="2.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:xs="http://www.w3.org/2001/XMLSchema"
    xmlns:v="urn:xslvalidate:verdict"
    xmlns:l="urn:xslvalidate:page-locations"
    xmlns:sl="urn:xslvalidate:source-lines"
    xmlns:inv="urn:oasis:names:specification:ubl:schema:xsd:Invoice-2"
    xmlns:cn="urn:oasis:names:specification:ubl:schema:xsd:CreditNote-2"
    xmlns:cac="urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2"
    xmlns:cbc="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2"
    xmlns:rsm="urn:un:unece:uncefact:data:standard:CrossIndustryInvoice:100"
    xmlns:ram="urn:un:unece:uncefact:data:standard:ReusableAggregateBusinessInformationEntity:100"
    xmlns:udt="urn:un:unece:uncefact:data:standard:UnqualifiedDataType:100"
    exclude-result-prefixes="#all">

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

  <xsl:function name="v:text" as="xs:string">
    <xsl:param name="nodes" as="node()*"/>
    <xsl:sequence select="normalize-space(string($nodes[1]))"/>
  </xsl:function>

  <!-- The source position of $node's element: line and column, or -1 -1
       where the engine gives none. -->
  <xsl:function name="v:position" as="xs:integer*">
    <xsl:param name="node" as="node()"/>
    <xsl:sequence use-when="function-available('sl:line-number', 1)"
        select="(sl:line-number($node), sl:column-number($node))"/>
    <xsl:sequence use-when="not(function-available('sl:line-number', 1))" select="(-1, -1)"/>
  </xsl:function>

  <!-- A party's name: its legal name, else its trading name. -->
  <xsl:function name="v:ubl-party" as="xs:string">
    <xsl:param name="party" as="element()?"/>
    <xsl:sequence select="v:text(($party/cac:PartyLegalEntity/cbc:RegistrationName,
                                  $party/cac:PartyName/cbc:Name))"/>
  </xsl:function>

  <!-- A CII date of format 102 (YYYYMMDD) as YYYY-MM-DD; others as written. -->
  <xsl:function name="v:cii-date" as="xs:string">
    <xsl:param name="date" as="xs:string"/>
    <xsl:sequence select="if (matches($date, '^\d{8}$'))
        then concat(substring($date, 1, 4), '-', substring($date, 5, 2), '-', substring($date, 7, 2))
        else $date"/>
  </xsl:function>

  <xsl:function name="v:identity" as="xs:string*">
    <xsl:param name="root" as="element()?"/>
    <xsl:choose>
      <xsl:when test="$root/(self::inv:Invoice | self::cn:CreditNote)">
        <xsl:variable name="total" select="$root/cac:LegalMonetaryTotal/cbc:PayableAmount[1]"/>
        <xsl:sequence select="(if ($root/self::inv:Invoice) then 'ubl-invoice' else 'ubl-creditnote',
            v:text($root/cbc:ID), v:text($root/cbc:IssueDate),
            v:ubl-party($root/cac:AccountingSupplierParty/cac:Party[1]),
            v:ubl-party($root/cac:AccountingCustomerParty/cac:Party[1]),
            v:text($total),
            normalize-space(($total/@currencyID, $root/cbc:DocumentCurrencyCode)[1]))"/>
      </xsl:when>
      <xsl:when test="$root/self::rsm:CrossIndustryInvoice">
        <xsl:variable name="trade" select="$root/rsm:SupplyChainTradeTransaction[1]"/>
        <xsl:variable name="settlement" select="$trade/ram:ApplicableHeaderTradeSettlement[1]"/>
        <xsl:variable name="total" select="$settlement/ram:SpecifiedTradeSettlementHeaderMonetarySummation[1]/ram:DuePayableAmount[1]"/>
        <xsl:sequence select="('cii',
            v:text($root/rsm:ExchangedDocument/ram:ID),
            v:cii-date(v:text($root/rsm:ExchangedDocument/ram:IssueDateTime/udt:DateTimeString)),
            v:text($trade/ram:ApplicableHeaderTradeAgreement/ram:SellerTradeParty/ram:Name),
            v:text($trade/ram:ApplicableHeaderTradeAgreement/ram:BuyerTradeParty/ram:Name),
            v:text($total),
            normalize-space(($total/@currencyID, $settlement/ram:InvoiceCurrencyCode)[1]))"/>
      </xsl:when>
      <xsl:otherwise>
        <xsl:sequence select="('', '', '', '', '', '', '')"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:function>

  <!-- Whether $node (an element or attribute child of $parent) is what
       $step names. A prefix is looked up on the document: on the element
       itself, or on an attribute's element. -->
  <xsl:function name="v:named" as="xs:boolean">
    <xsl:param name="node" as="node()"/>
    <xsl:param name="step" as="element()"/>
    <xsl:param name="parent" as="node()"/>
    <xsl:variable name="scope" select="if ($node instance of element()) then $node else $parent"/>
    <xsl:sequence select="($step/@local = '*' or local-name($node) = $step/@local) and
        (if ($step/@space = 'uri') then namespace-uri($node) = string($step/@uri)
         else if ($step/@space = 'prefix')
           then namespace-uri($node) = string(namespace-uri-for-prefix(string($step/@prefix), $scope))
                and exists(namespace-uri-for-prefix(string($step/@prefix), $scope))
         else if ($step/@space = 'any') then true()
         else namespace-uri($node) = '')"/>
  </xsl:function>

  <!-- The node $steps lead to from $context, the first match of each step
       when it has no position; empty when there is none. -->
  <xsl:function name="v:follow" as="node()?">
    <xsl:param name="context" as="node()"/>
    <xsl:param name="steps" as="element(l:step)*"/>
    <xsl:choose>
      <xsl:when test="empty($steps)">
        <xsl:sequence select="$context"/>
      </xsl:when>
      <xsl:otherwise>
        <xsl:variable name="step" select="$steps[1]"/>
        <xsl:variable name="candidates" as="node()*" select="
            if ($step/@kind = 'element') then $context/*[v:named(., $step, $context)]
            else if ($step/@kind = 'attribute') then $context/@*[v:named(., $step, $context)]
            else $context/text()"/>
        <xsl:variable name="position" select="max((xs:integer($step/@position), 1))"/>
        <xsl:variable name="chosen" select="$candidates[$position]"/>
        <xsl:sequence select="if (exists($chosen)) then v:follow($chosen, $steps[position() gt 1]) else ()"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:function>

  <xsl:function name="v:value" as="xs:string">
    <xsl:param name="node" as="node()"/>
    <xsl:variable name="value" select="string($node)"/>
    <xsl:sequence select="if ($node instance of element() and exists($node/*)) then '\-'
        else v:field(if (string-length($value) gt 200)
                     then concat(substring($value, 1, 200), '&#8230;') else $value)"/>
  </xsl:function>

  <xsl:template match="/">
    <xsl:variable name="document" select="."/>
    <xsl:value-of select="v:line(('page',
        if (function-available('sl:line-number', 1)) then '1' else '0'))"/>
    <xsl:value-of select="v:line(('id', v:identity(*[1])))"/>
    <!-- The list is named by where the output goes, not by a parameter: a
         compiled stylesheet may be kept between runs with the values of
         its first run's parameters. -->
    <xsl:for-each select="doc(resolve-uri('page-locations.xml', current-output-uri()))
                          /l:locations/l:location">
        <xsl:variable name="node" select="if (l:step) then v:follow($document, l:step) else ()"/>
        <xsl:variable name="at" select="if (exists($node)) then v:position($node) else (0, 0)"/>
        <xsl:value-of select="concat('at&#9;', max(($at[1], 0)), '&#9;', max(($at[2], 0)), '&#9;',
            if (exists($node)) then v:value($node) else '\-', '&#10;')"/>
    </xsl:for-each>
  </xsl:template>
</xsl:stylesheet>
