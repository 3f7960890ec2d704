<?xml version="1.0" encoding="UTF-8"?>
<!-- SVRL findings that test the reading: no flag, no id, an unknown flag,
     a message over several lines with non-ASCII text, quotes, a backslash
     and a tab, a finding nested below another element. -->
<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:svrl="http://purl.oclc.org/dsdl/svrl">
  <xsl:template match="/">
    <svrl:schematron-output>
      <svrl:failed-assert id="ODD-NOFLAG" test="false()" location="/*[local-name()='Invoice']">
        <svrl:text>
          Zeile eins: Müller &amp; Söhne "GmbH" C:\temp&#9;€ 𝄞
          Zeile zwei
        </svrl:text>
      </svrl:failed-assert>
      <svrl:successful-report flag="warning" test="true()" location="/">
        <svrl:text>reported without an id</svrl:text>
      </svrl:successful-report>
      <svrl:active-pattern id="nested">
        <svrl:failed-assert id="ODD-CAUTION" flag="caution" test="false()">
          <svrl:text>no location</svrl:text>
        </svrl:failed-assert>
      </svrl:active-pattern>
    </svrl:schematron-output>
  </xsl:template>
</xsl:stylesheet>
