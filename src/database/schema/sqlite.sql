-- The code database on SQLite. SQLite does not enforce declared sizes, so
-- the CHECK constraints give every column the range and length it has on
-- PostgreSQL: the same row is accepted or refused by both engines.

CREATE TABLE "tblUnits" (
  "ID"         INTEGER PRIMARY KEY AUTOINCREMENT,
  "Name"       VARCHAR(64) CHECK (length("Name") <= 64),
  "Desc"       TEXT,
  "Protocol"   SMALLINT CHECK ("Protocol" BETWEEN -32768 AND 32767),
  "Modulation" INTEGER CHECK ("Modulation" BETWEEN 0 AND 65535),
  "AdrStart"   SMALLINT CHECK ("AdrStart" BETWEEN -32768 AND 32767),
  "AdrBits"    SMALLINT CHECK ("AdrBits" BETWEEN -32768 AND 32767),
  "AdrOrder"   BOOLEAN CHECK ("AdrOrder" IN (0, 1)),
  "AdrInverse" BOOLEAN CHECK ("AdrInverse" IN (0, 1)),
  "CmdStart"   SMALLINT CHECK ("CmdStart" BETWEEN -32768 AND 32767),
  "CmdBits"    SMALLINT CHECK ("CmdBits" BETWEEN -32768 AND 32767),
  "CmdOrder"   BOOLEAN CHECK ("CmdOrder" IN (0, 1)),
  "CmdInverse" BOOLEAN CHECK ("CmdInverse" IN (0, 1)),
  "Carrier"    VARCHAR(3) CHECK (length("Carrier") <= 3),
  "Picture"    BLOB
);

CREATE TABLE "tblCodes" (
  "ID"     INTEGER PRIMARY KEY AUTOINCREMENT,
  "UnitID" INTEGER CHECK ("UnitID" BETWEEN -2147483648 AND 2147483647),
  "Name"   VARCHAR(64) CHECK (length("Name") <= 64),
  "Mode"   INTEGER CHECK ("Mode" BETWEEN -2147483648 AND 2147483647),
  "Adr"    INTEGER CHECK ("Adr" BETWEEN -2147483648 AND 2147483647),
  "Cmd"    INTEGER CHECK ("Cmd" BETWEEN -2147483648 AND 2147483647),
  "Code1"  VARCHAR(255) CHECK (length("Code1") <= 255),
  "Code2"  VARCHAR(255) CHECK (length("Code2") <= 255),
  "Code3"  VARCHAR(255) CHECK (length("Code3") <= 255),
  "Code4"  VARCHAR(255) CHECK (length("Code4") <= 255)
);

CREATE TABLE "tblTransmit" (
  "ID"         INTEGER PRIMARY KEY AUTOINCREMENT,
  "Protocol"   SMALLINT CHECK ("Protocol" BETWEEN -32768 AND 32767),
  "Modulation" SMALLINT CHECK ("Modulation" BETWEEN -32768 AND 32767),
  "UnitName"   VARCHAR(64) CHECK (length("UnitName") <= 64),
  "KeyName"    VARCHAR(64) CHECK (length("KeyName") <= 64),
  "Code1"      VARCHAR(255) CHECK (length("Code1") <= 255),
  "Code2"      VARCHAR(255) CHECK (length("Code2") <= 255),
  "Code3"      VARCHAR(255) CHECK (length("Code3") <= 255),
  "Code4"      VARCHAR(255) CHECK (length("Code4") <= 255),
  "Repeat"     SMALLINT CHECK ("Repeat" BETWEEN -32768 AND 32767),
  "Pause"      INTEGER CHECK ("Pause" BETWEEN -2147483648 AND 2147483647)
);

-- The key views list one unit's keys by name or by mode, address, command.
CREATE INDEX "idxCodesUnitName" ON "tblCodes" ("UnitID", "Name" COLLATE NOCASE);
CREATE INDEX "idxCodesUnitMode" ON "tblCodes" ("UnitID", "Mode", "Adr", "Cmd");
