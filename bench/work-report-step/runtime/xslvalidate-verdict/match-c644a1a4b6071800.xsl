<?xml version="1.0" encoding="UTF-8"?>
<stylesheet xmlns="http://www.w3.org/1999/XSL/Transform" version="3.0">
  <output method="text"/>
  <template match="/">
    <choose>
      <when test="namespace-uri(*[1]) = 'http://purl.oclc.org/dsdl/svrl' and local-name(*[1]) = 'schematron-output'">svrl</when>
      <when xmlns:cbc="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2" xmlns:invoice="urn:oasis:names:specification:ubl:schema:xsd:Invoice-2" test="/invoice:Invoice[ starts-with(cbc:CustomizationID,'urn:cen.eu:en16931:2017#compliant#urn:fdc:peppol.eu:2017:poacc:billing:3.0') ]">1</when>
      <when xmlns:cbc="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2" xmlns:creditnote="urn:oasis:names:specification:ubl:schema:xsd:CreditNote-2" test="/creditnote:CreditNote[starts-with(cbc:CustomizationID, 'urn:cen.eu:en16931:2017#compliant#urn:fdc:peppol.eu:2017:poacc:billing:3.0')]">2</when>
      <otherwise>0</otherwise>
    </choose>
  </template>
</stylesheet>
