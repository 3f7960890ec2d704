<?xml version="1.0" encoding="UTF-8"?>
<stylesheet xmlns="http://www.w3.org/1999/XSL/Transform" version="3.0">
  <output method="text"/>
  <template match="/">
    <choose>
      <when test="exists(/Q{http://www.xoev.de/de/validator/varl/1}report/Q{http://www.xoev.de/de/validator/varl/1}assessment/Q{http://www.xoev.de/de/validator/varl/1}accept)">accept</when>
      <otherwise>reject</otherwise>
    </choose>
  </template>
</stylesheet>
