<?xml version="1.0" encoding="UTF-8"?>
<!-- Recurses without end: the run must fail on stack exhaustion and leave
     the engine usable. -->
<xsl:stylesheet version="2.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:f="urn:test">
  <xsl:function name="f:down">
    <xsl:param name="n"/>
    <xsl:sequence select="f:down($n + 1) + 1"/>
  </xsl:function>
  <xsl:template match="/">
    <report depth="{f:down(0)}"/>
  </xsl:template>
</xsl:stylesheet>
