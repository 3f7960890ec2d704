<?xml version="1.0" encoding="UTF-8"?>
<!-- Runs a configuration's report stylesheet with the document its input
     names as input-document (nothing when that is not an XML document). -->
<xsl:stylesheet version="3.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:xslvalidate-in="http://www.xoev.de/de/validator/framework/1/createreportinput">
  <xsl:import href="file:///work/shared/configurations/peppol-bis-3.0.9/resources/default-report.xsl"/>
  <xsl:param name="input-document" select="
      let $reference := string((/xslvalidate-in:createReportInput/
          xslvalidate-in:documentIdentification/xslvalidate-in:documentReference)[1])
      return if ($reference != '' and doc-available($reference)) then doc($reference)
             else ()"/>
</xsl:stylesheet>
