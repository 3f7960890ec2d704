<?xml version="1.0" encoding="UTF-8"?>
<stylesheet xmlns="http://www.w3.org/1999/XSL/Transform" version="3.0">
  <output method="text"/>
  <template match="/">
    <choose>
      <when xmlns:cbc="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2" xmlns:creditnote="urn:oasis:names:specification:ubl:schema:xsd:CreditNote-2" test="exists(/Q{http://www.xoev.de/de/validator/varl/1}report/Q{http://www.xoev.de/de/validator/varl/1}assessment/Q{http://www.xoev.de/de/validator/varl/1}accept)">accept</when>
      <otherwise>reject</otherwise>
    </choose>
  </template>
</stylesheet>
