// Validates a SARIF log read from standard input against the SARIF 2.1.0
// schema, with every format the schema names checked. Prints each error and
// exits 1 when the log does not validate.
"use strict";
const fs = require("fs");
const path = require("path");
const Ajv = require("ajv-draft-04");
const addFormats = require("ajv-formats");

const schema = JSON.parse(fs.readFileSync(path.join(__dirname,
  "node_modules/@microsoft/jest-sarif/lib/schemas/sarif-2.1.0-rtm.5.json"),
  "utf8"));
// The schema holds a pattern that is no valid Unicode regular expression.
const ajv = new Ajv({allErrors: true, strict: false, unicodeRegExp: false});
addFormats(ajv);
const validate = ajv.compile(schema);
const log = JSON.parse(fs.readFileSync(0, "utf8"));
if (log.version !== "2.1.0") {
  console.error("version is " + JSON.stringify(log.version) + ", not 2.1.0");
  process.exit(1);
}
if (!validate(log)) {
  for (const e of validate.errors) {
    console.error(e.instancePath + " " + e.message + " " +
                  JSON.stringify(e.params));
  }
  process.exit(1);
}
console.log("valid SARIF 2.1.0");
