#!/usr/bin/env bash
# Writes a UBL 2.1 invoice with N lines to standard output, with totals
# that add up, for measuring how validation time grows with the document.
# Usage: bench/make-invoice.sh N
set -euo pipefail
lines=${1:?usage: $0 number-of-lines}

awk -v lines="$lines" 'BEGIN {
  net = 0
  for (i = 1; i <= lines; i++) net += (i % 7 + 1) * 2.50
  tax = net * 0.19
  printf "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
  printf "<Invoice xmlns=\"urn:oasis:names:specification:ubl:schema:xsd:Invoice-2\"\n"
  printf "  xmlns:cac=\"urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2\"\n"
  printf "  xmlns:cbc=\"urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2\">\n"
  printf "  <cbc:CustomizationID>urn:cen.eu:en16931:2017</cbc:CustomizationID>\n"
  printf "  <cbc:ProfileID>urn:fdc:peppol.eu:2017:poacc:billing:01:1.0</cbc:ProfileID>\n"
  printf "  <cbc:ID>BENCH-%d</cbc:ID>\n", lines
  printf "  <cbc:IssueDate>2026-12-01</cbc:IssueDate>\n"
  printf "  <cbc:DueDate>2026-12-31</cbc:DueDate>\n"
  printf "  <cbc:InvoiceTypeCode>380</cbc:InvoiceTypeCode>\n"
  printf "  <cbc:DocumentCurrencyCode>EUR</cbc:DocumentCurrencyCode>\n"
  printf "  <cbc:BuyerReference>4711</cbc:BuyerReference>\n"
  printf "  <cac:AccountingSupplierParty><cac:Party>\n"
  printf "    <cbc:EndpointID schemeID=\"9930\">DE123456789</cbc:EndpointID>\n"
  printf "    <cac:PostalAddress><cbc:CityName>Berlin</cbc:CityName><cbc:PostalZone>10115</cbc:PostalZone>"
  printf "<cac:Country><cbc:IdentificationCode>DE</cbc:IdentificationCode></cac:Country></cac:PostalAddress>\n"
  printf "    <cac:PartyTaxScheme><cbc:CompanyID>DE123456789</cbc:CompanyID><cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:PartyTaxScheme>\n"
  printf "    <cac:PartyLegalEntity><cbc:RegistrationName>Seller GmbH</cbc:RegistrationName></cac:PartyLegalEntity>\n"
  printf "  </cac:Party></cac:AccountingSupplierParty>\n"
  printf "  <cac:AccountingCustomerParty><cac:Party>\n"
  printf "    <cbc:EndpointID schemeID=\"9930\">DE987654321</cbc:EndpointID>\n"
  printf "    <cac:PostalAddress><cbc:CityName>Hamburg</cbc:CityName><cbc:PostalZone>20095</cbc:PostalZone>"
  printf "<cac:Country><cbc:IdentificationCode>DE</cbc:IdentificationCode></cac:Country></cac:PostalAddress>\n"
  printf "    <cac:PartyLegalEntity><cbc:RegistrationName>Buyer AG</cbc:RegistrationName></cac:PartyLegalEntity>\n"
  printf "  </cac:Party></cac:AccountingCustomerParty>\n"
  printf "  <cac:PaymentMeans><cbc:PaymentMeansCode>58</cbc:PaymentMeansCode>"
  printf "<cac:PayeeFinancialAccount><cbc:ID>DE89370400440532013000</cbc:ID></cac:PayeeFinancialAccount></cac:PaymentMeans>\n"
  printf "  <cac:TaxTotal><cbc:TaxAmount currencyID=\"EUR\">%.2f</cbc:TaxAmount>\n", tax
  printf "    <cac:TaxSubtotal><cbc:TaxableAmount currencyID=\"EUR\">%.2f</cbc:TaxableAmount>", net
  printf "<cbc:TaxAmount currencyID=\"EUR\">%.2f</cbc:TaxAmount>", tax
  printf "<cac:TaxCategory><cbc:ID>S</cbc:ID><cbc:Percent>19</cbc:Percent><cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:TaxCategory></cac:TaxSubtotal>\n"
  printf "  </cac:TaxTotal>\n"
  printf "  <cac:LegalMonetaryTotal>\n"
  printf "    <cbc:LineExtensionAmount currencyID=\"EUR\">%.2f</cbc:LineExtensionAmount>\n", net
  printf "    <cbc:TaxExclusiveAmount currencyID=\"EUR\">%.2f</cbc:TaxExclusiveAmount>\n", net
  printf "    <cbc:TaxInclusiveAmount currencyID=\"EUR\">%.2f</cbc:TaxInclusiveAmount>\n", net + tax
  printf "    <cbc:PayableAmount currencyID=\"EUR\">%.2f</cbc:PayableAmount>\n", net + tax
  printf "  </cac:LegalMonetaryTotal>\n"
  for (i = 1; i <= lines; i++) {
    qty = i % 7 + 1
    printf "  <cac:InvoiceLine><cbc:ID>%d</cbc:ID>", i
    printf "<cbc:InvoicedQuantity unitCode=\"C62\">%d</cbc:InvoicedQuantity>", qty
    printf "<cbc:LineExtensionAmount currencyID=\"EUR\">%.2f</cbc:LineExtensionAmount>", qty * 2.50
    printf "<cac:Item><cbc:Name>Article %d</cbc:Name><cac:ClassifiedTaxCategory><cbc:ID>S</cbc:ID><cbc:Percent>19</cbc:Percent>", i
    printf "<cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:ClassifiedTaxCategory></cac:Item>"
    printf "<cac:Price><cbc:PriceAmount currencyID=\"EUR\">2.50</cbc:PriceAmount></cac:Price></cac:InvoiceLine>\n"
  }
  printf "</Invoice>\n"
}'
