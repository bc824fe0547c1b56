#!/usr/bin/python3
"""A TDS 7.4 server for tests: it logs clients in, records every request as a JSON line and
answers each one from the test's script. It executes no SQL; what comes back is what the
test says, so a test sees exactly what the client sent and how it reads the answer.

Run:  tds_server.py --script answers.json --log requests.jsonl [--port-file FILE]
It listens on 127.0.0.1 at a free port and prints "port N" on stdout once it accepts.
The script file is read again whenever it changes, so a test can swap answers mid-run.

Script (JSON object, every key optional):
  collation     "Chinese_PRC_CI_AS", "SQL_Latin1_General_CP1_CI_AS", ... or
                {"lcid": 2052, "flags": 13, "version": 0, "sort_id": 0}, or 10 hex digits
  database      name sent back in the database change (default: the one the login asked)
  login_error   {"number": 18456, "text": "..."}: refuse every login with this error
  delay_ms      wait before every answer (a simulated round trip)
  drop_at       request number (1-based, counted over the server's life) at which the
                connection is closed instead of answered
  answers       list of entries, the first that matches answers:
    contains / regex   substring / regular expression searched in the request's text
    kind               "batch", "rpc" or "tm"; proc: the RPC's procedure name
    request            only this request number; times: used at most this often
    columns + rows     one result set: [{"name","type","length","collation"}], rows of values
    count              rows affected, sent with the DONE token
    error              {"number", "text", "state", "class"}
    results            a list of {columns, rows} / {count} for several results
    delay_ms, drop     this entry's own delay; close the connection instead of answering
Column types: nvarchar, varchar, nchar, char, int, bigint, smallint, tinyint, bit, money,
float, real, datetime, decimal (with "precision" and "scale").

A request's text is the batch text; the @stmt of sp_executesql, sp_prepare, sp_prepexec and
the cursor procedures; for sp_execute the statement prepared under its handle;
"TM_BEGIN_XACT", "TM_COMMIT_XACT" or "TM_ROLLBACK_XACT" for transaction requests; else the
procedure name. sp_prepare, sp_unprepare and transaction requests are answered by the server
itself unless an entry matches them; any other request without an entry gets an error that
names it.
"""

import argparse
import datetime
import decimal
import json
import os
import re
import socket
import struct
import sys
import threading
import time

# ---- protocol constants ------------------------------------------------------------------

PKT_BATCH, PKT_RPC, PKT_REPLY, PKT_ATTENTION, PKT_TM, PKT_LOGIN7, PKT_PRELOGIN = (
    1, 3, 4, 6, 14, 16, 18)
STATUS_EOM, STATUS_RESET = 0x01, 0x08

TOKEN_COLMETADATA, TOKEN_ROW, TOKEN_RETURNSTATUS, TOKEN_RETURNVALUE = 0x81, 0xD1, 0x79, 0xAC
TOKEN_ERROR, TOKEN_LOGINACK, TOKEN_ENVCHANGE = 0xAA, 0xAD, 0xE3
TOKEN_DONE, TOKEN_DONEPROC, TOKEN_DONEINPROC = 0xFD, 0xFE, 0xFF
DONE_MORE, DONE_ERROR, DONE_INXACT, DONE_COUNT, DONE_ATTN = 0x01, 0x02, 0x04, 0x10, 0x20

ENV_DATABASE, ENV_PACKETSIZE, ENV_COLLATION = 1, 4, 7
ENV_BEGIN, ENV_COMMIT, ENV_ROLLBACK = 8, 9, 10

TM_NAMES = {0: "TM_GET_DTC_ADDRESS", 1: "TM_PROPAGATE_XACT", 5: "TM_BEGIN_XACT",
            6: "TM_PROMOTE_XACT", 7: "TM_COMMIT_XACT", 8: "TM_ROLLBACK_XACT",
            9: "TM_SAVE_XACT"}

PROC_NAMES = {1: "sp_cursor", 2: "sp_cursoropen", 3: "sp_cursorprepare", 4: "sp_cursorexecute",
              5: "sp_cursorprepexec", 6: "sp_cursorunprepare", 7: "sp_cursorfetch",
              8: "sp_cursoroption", 9: "sp_cursorclose", 10: "sp_executesql", 11: "sp_prepare",
              12: "sp_execute", 13: "sp_prepexec", 14: "sp_prepexecrpc", 15: "sp_unprepare"}

# Type ids and how their length travels: fixed size, one byte, two bytes, four bytes.
FIXED = {0x1F: ("NULL", 0), 0x30: ("INT1", 1), 0x32: ("BIT", 1), 0x34: ("INT2", 2),
         0x38: ("INT4", 4), 0x3A: ("DATETIM4", 4), 0x3B: ("FLT4", 4), 0x3C: ("MONEY", 8),
         0x3D: ("DATETIME", 8), 0x3E: ("FLT8", 8), 0x7A: ("MONEY4", 4), 0x7F: ("INT8", 8)}
BYTELEN = {0x24: "GUID", 0x26: "INTN", 0x37: "DECIMAL", 0x3F: "NUMERIC", 0x68: "BITN",
           0x6A: "DECIMALN", 0x6C: "NUMERICN", 0x6D: "FLTN", 0x6E: "MONEYN", 0x6F: "DATETIMN",
           0x28: "DATEN", 0x29: "TIMEN", 0x2A: "DATETIME2N", 0x2B: "DATETIMEOFFSETN",
           0x2F: "CHAR", 0x27: "VARCHAR", 0x2D: "BINARY", 0x25: "VARBINARY"}
USHORTLEN = {0xA5: "BIGVARBIN", 0xA7: "BIGVARCHAR", 0xAD: "BIGBINARY", 0xAF: "BIGCHAR",
             0xE7: "NVARCHAR", 0xEF: "NCHAR", 0xF1: "XML", 0xF0: "UDT"}
LONGLEN = {0x23: "TEXT", 0x63: "NTEXT", 0x22: "IMAGE", 0x62: "SSVARIANT"}
WITH_COLLATION = {0xA7, 0xAF, 0xE7, 0xEF, 0x23, 0x63}
UNICODE_TYPES = {0xE7, 0xEF, 0x63}
DATE_TYPES_WITHOUT_LENGTH = {0x28}
SCALED_TIME_TYPES = {0x29, 0x2A, 0x2B}

# ---- collations --------------------------------------------------------------------------

# ColFlags bits, least significant first.
IGNORE_CASE, IGNORE_ACCENT, IGNORE_KANA, IGNORE_WIDTH = 0x01, 0x02, 0x04, 0x08
BINARY, BINARY2, UTF8 = 0x10, 0x20, 0x40
CI_AS = IGNORE_CASE | IGNORE_KANA | IGNORE_WIDTH
CS_AS = IGNORE_KANA | IGNORE_WIDTH

# name: (LCID, flags, version, sort id). Windows collations carry sort id 0 and take their
# code page from the LCID; SQL collations carry a sort id that names the code page.
COLLATIONS = {
    "Chinese_PRC_CI_AS": (0x0804, CI_AS, 0, 0),
    "Chinese_PRC_CS_AS": (0x0804, CS_AS, 0, 0),
    "Chinese_PRC_CI_AI": (0x0804, CI_AS | IGNORE_ACCENT, 0, 0),
    "Chinese_PRC_BIN": (0x0804, BINARY, 0, 0),
    "Chinese_PRC_BIN2": (0x0804, BINARY2, 0, 0),
    "Chinese_PRC_90_CI_AS": (0x0804, CI_AS, 1, 0),
    "Chinese_Taiwan_Stroke_CI_AS": (0x0404, CI_AS, 0, 0),
    "Latin1_General_CI_AS": (0x0409, CI_AS, 0, 0),
    "Latin1_General_BIN": (0x0409, BINARY, 0, 0),
    "Latin1_General_100_CI_AS_SC_UTF8": (0x0409, CI_AS | UTF8, 2, 0),
    "SQL_Latin1_General_CP1_CS_AS": (0x0409, CS_AS, 0, 51),
    "SQL_Latin1_General_CP1_CI_AS": (0x0409, CI_AS, 0, 52),
    "SQL_Latin1_General_CP1_CI_AI": (0x0409, CI_AS | IGNORE_ACCENT, 0, 54),
}
CODEPAGE_BY_LCID = {0x0804: "cp936", 0x1004: "cp936", 0x0404: "cp950", 0x0C04: "cp950",
                    0x1404: "cp950", 0x0411: "cp932", 0x0412: "cp949", 0x0409: "cp1252",
                    0x0809: "cp1252", 0x0407: "cp1252", 0x040C: "cp1252", 0x0410: "cp1252",
                    0x0C0A: "cp1252", 0x0419: "cp1251", 0x0405: "cp1250", 0x0415: "cp1250",
                    0x0408: "cp1253", 0x041F: "cp1254", 0x040D: "cp1255", 0x0401: "cp1256",
                    0x041E: "cp874", 0x042A: "cp1258"}
CODEPAGE_BY_SORT_ID = {51: "cp1252", 52: "cp1252", 53: "cp1252", 54: "cp1252"}


class ScriptError(Exception):
    """A script the server cannot follow; the request gets an error naming it."""


def collation_tuple(spec):
    if spec is None:
        spec = "Chinese_PRC_CI_AS"
    if isinstance(spec, (bytes, bytearray)) and len(spec) == 5:
        return decode_collation(bytes(spec))[1:]
    if isinstance(spec, dict):
        return (int(spec.get("lcid", 0)), int(spec.get("flags", 0)),
                int(spec.get("version", 0)), int(spec.get("sort_id", 0)))
    if isinstance(spec, str) and spec in COLLATIONS:
        return COLLATIONS[spec]
    if isinstance(spec, str) and re.fullmatch(r"[0-9a-fA-F]{10}", spec):
        return decode_collation(bytes.fromhex(spec))[1:]
    raise ScriptError("unknown collation %r" % (spec,))


def encode_collation(spec):
    lcid, flags, version, sort_id = collation_tuple(spec)
    info = (lcid & 0xFFFFF) | (flags & 0xFF) << 20 | (version & 0xF) << 28
    return struct.pack("<IB", info, sort_id)


def decode_collation(raw):
    """(name or None, lcid, flags, version, sort id) of five collation bytes."""
    info, sort_id = struct.unpack("<IB", raw)
    t = (info & 0xFFFFF, info >> 20 & 0xFF, info >> 28 & 0xF, sort_id)
    name = next((n for n, v in COLLATIONS.items() if v == t), None)
    return (name,) + t


def codepage(raw):
    _, lcid, flags, _, sort_id = decode_collation(raw)
    if flags & UTF8:
        return "utf-8"
    if sort_id:
        return CODEPAGE_BY_SORT_ID.get(sort_id)
    return CODEPAGE_BY_LCID.get(lcid)


def collation_json(raw):
    name, lcid, flags, version, sort_id = decode_collation(raw)
    return {"name": name, "lcid": lcid, "flags": flags, "version": version, "sort_id": sort_id,
            "codepage": codepage(raw), "hex": raw.hex()}


def deobfuscate_password(raw):
    """Each byte of a LOGIN7 password had its nibbles swapped and was XORed with 0xA5."""
    out = bytearray()
    for b in raw:
        b ^= 0xA5
        out.append((b << 4 | b >> 4) & 0xFF)
    return out.decode("utf-16-le")


def obfuscate_password(text):
    out = bytearray()
    for b in text.encode("utf-16-le"):
        out.append(((b << 4 | b >> 4) & 0xFF) ^ 0xA5)
    return bytes(out)


# ---- reading client values ---------------------------------------------------------------

class Reader:
    def __init__(self, data, pos=0):
        self.data = data
        self.pos = pos

    def take(self, n):
        if n < 0 or self.pos + n > len(self.data):
            raise ValueError("message ends early (need %d bytes at %d of %d)"
                             % (n, self.pos, len(self.data)))
        out = self.data[self.pos:self.pos + n]
        self.pos += n
        return bytes(out)

    def u8(self):
        return self.take(1)[0]

    def u16(self):
        return struct.unpack("<H", self.take(2))[0]

    def u32(self):
        return struct.unpack("<I", self.take(4))[0]

    def u64(self):
        return struct.unpack("<Q", self.take(8))[0]

    def b_varchar(self):
        return self.take(2 * self.u8()).decode("utf-16-le")

    def at_end(self):
        return self.pos >= len(self.data)


EPOCH_1900 = datetime.datetime(1900, 1, 1)
EPOCH_0001 = datetime.date(1, 1, 1)


def read_type_info(r):
    """TYPE_INFO of a parameter: a dict with the type's id, name and declared sizes."""
    t = r.u8()
    info = {"type_id": t}
    if t in FIXED:
        info["type"], info["length"] = FIXED[t]
    elif t in DATE_TYPES_WITHOUT_LENGTH:
        info["type"], info["length"] = BYTELEN[t], 3
    elif t in SCALED_TIME_TYPES:
        info["type"] = BYTELEN[t]
        info["scale"] = r.u8()
    elif t in BYTELEN:
        info["type"] = BYTELEN[t]
        info["length"] = r.u8()
        if t in (0x37, 0x3F, 0x6A, 0x6C):
            info["precision"], info["scale"] = r.u8(), r.u8()
    elif t in USHORTLEN:
        info["type"] = USHORTLEN[t]
        info["length"] = r.u16()
        if info["length"] == 0xFFFF:
            info["plp"] = True
        if t in WITH_COLLATION:
            info["collation_raw"] = r.take(5)
        if t == 0xF1 and r.u8():  # XML schema: database, owner, collection names
            r.b_varchar(), r.b_varchar(), r.take(2 * r.u16())
    elif t in LONGLEN:
        info["type"] = LONGLEN[t]
        info["length"] = r.u32()
        if t in WITH_COLLATION:
            info["collation_raw"] = r.take(5)
    else:
        raise ValueError("unknown TDS type 0x%02X" % t)
    return info


def read_raw_value(r, info):
    """The value's bytes as sent, or None for NULL."""
    t = info["type_id"]
    if t in FIXED:
        return r.take(FIXED[t][1]) if FIXED[t][1] else None
    if t in BYTELEN or t in DATE_TYPES_WITHOUT_LENGTH or t in SCALED_TIME_TYPES:
        n = r.u8()
        return r.take(n) if n else None
    if info.get("plp"):
        total = r.u64()
        if total == 0xFFFFFFFFFFFFFFFF:
            return None
        chunks = []
        while True:
            n = r.u32()
            if n == 0:
                break
            chunks.append(r.take(n))
        return b"".join(chunks)
    if t in USHORTLEN:
        n = r.u16()
        return None if n == 0xFFFF else r.take(n)
    n = r.u32()
    return None if n == 0xFFFFFFFF else r.take(n)


def scaled_time(raw, scale):
    units = int.from_bytes(raw, "little")
    seconds = decimal.Decimal(units) / (10 ** scale)
    whole = int(seconds)
    frac = seconds - whole
    text = "%02d:%02d:%02d" % (whole // 3600, whole // 60 % 60, whole % 60)
    if scale:
        text += ("%.*f" % (scale, frac))[1:]
    return text


def decode_value(raw, info):
    """A JSON-friendly value: text for texts, dates as ISO text, numbers as numbers."""
    if raw is None:
        return None
    t = info["type_id"]
    name = info["type"]
    if t in UNICODE_TYPES:
        return raw.decode("utf-16-le")
    if t in WITH_COLLATION or t in (0x2F, 0x27):
        cp = codepage(info["collation_raw"]) if "collation_raw" in info else None
        if cp is None:
            return {"undecodable": raw.hex()}
        try:
            return raw.decode(cp)
        except UnicodeDecodeError:
            return {"undecodable": raw.hex(), "codepage": cp}
    if name in ("INT1", "INT2", "INT4", "INT8", "INTN"):
        return int.from_bytes(raw, "little", signed=name != "INT1" and len(raw) > 1)
    if name in ("BIT", "BITN"):
        return bool(raw[0])
    if name in ("FLT4", "FLT8", "FLTN"):
        return struct.unpack("<f" if len(raw) == 4 else "<d", raw)[0]
    if name in ("MONEY", "MONEY4", "MONEYN"):
        if len(raw) == 4:
            units = struct.unpack("<i", raw)[0]
        else:
            hi, lo = struct.unpack("<iI", raw)
            units = hi << 32 | lo
        return str(decimal.Decimal(units) / 10000)
    if name in ("DECIMAL", "NUMERIC", "DECIMALN", "NUMERICN"):
        units = int.from_bytes(raw[1:], "little")
        value = decimal.Decimal(units).scaleb(-info["scale"])
        return str(value if raw[0] else -value)
    if name in ("DATETIME", "DATETIMN") and len(raw) == 8:
        days, ticks = struct.unpack("<iI", raw)
        ms = round(ticks * 10 / 3)
        return (EPOCH_1900 + datetime.timedelta(days=days, milliseconds=ms)).isoformat(" ")
    if name in ("DATETIM4", "DATETIMN"):
        days, minutes = struct.unpack("<HH", raw)
        return (EPOCH_1900 + datetime.timedelta(days=days, minutes=minutes)).isoformat(" ")
    if name == "DATEN":
        return (EPOCH_0001 + datetime.timedelta(days=int.from_bytes(raw, "little"))).isoformat()
    if name == "TIMEN":
        return scaled_time(raw, info["scale"])
    if name in ("DATETIME2N", "DATETIMEOFFSETN"):
        extra = 2 if name == "DATETIMEOFFSETN" else 0
        tlen = len(raw) - 3 - extra
        day = EPOCH_0001 + datetime.timedelta(days=int.from_bytes(raw[tlen:tlen + 3], "little"))
        text = day.isoformat() + " " + scaled_time(raw[:tlen], info["scale"])
        if extra:
            text += " %+d" % struct.unpack("<h", raw[-2:])[0]
        return text
    if name == "GUID":
        a, b, c = struct.unpack("<IHH", raw[:8])
        return "%08X-%04X-%04X-%s-%s" % (a, b, c, raw[8:10].hex().upper(), raw[10:].hex().upper())
    return {"hex": raw.hex()}


def sql_type_text(info):
    """The declared type as T-SQL would write it, for reading logs."""
    n = info["type"]
    length = info.get("length")
    if n in ("NVARCHAR", "NCHAR", "NTEXT"):
        base = n.lower()
        if info.get("plp"):
            return base + "(max)"
        return base if n == "NTEXT" else "%s(%d)" % (base, length // 2)
    if n in ("BIGVARCHAR", "BIGCHAR", "BIGVARBIN", "BIGBINARY"):
        base = {"BIGVARCHAR": "varchar", "BIGCHAR": "char", "BIGVARBIN": "varbinary",
                "BIGBINARY": "binary"}[n]
        return base + ("(max)" if info.get("plp") else "(%d)" % length)
    if n in ("DECIMALN", "NUMERICN", "DECIMAL", "NUMERIC"):
        return "%s(%d,%d)" % (n.rstrip("N").lower(), info["precision"], info["scale"])
    if n in ("DATETIME2N", "TIMEN", "DATETIMEOFFSETN"):
        return "%s(%d)" % (n[:-1].lower(), info["scale"])
    sized = {"INTN": {1: "tinyint", 2: "smallint", 4: "int", 8: "bigint"},
             "FLTN": {4: "real", 8: "float"}, "MONEYN": {4: "smallmoney", 8: "money"},
             "DATETIMN": {4: "smalldatetime", 8: "datetime"}}
    if n in sized:
        return sized[n].get(length, n.lower())
    return {"BITN": "bit", "DATEN": "date", "INT4": "int", "INT8": "bigint", "INT2": "smallint",
            "INT1": "tinyint", "BIT": "bit", "FLT8": "float", "FLT4": "real", "MONEY": "money",
            "DATETIME": "datetime", "GUID": "uniqueidentifier"}.get(n, n.lower())


# ---- writing server answers --------------------------------------------------------------

def b_varchar(text):
    raw = text.encode("utf-16-le")
    return bytes([len(raw) // 2]) + raw


def us_varchar(text):
    raw = text.encode("utf-16-le")
    return struct.pack("<H", len(raw) // 2) + raw


def env_change(kind, new, old):
    body = bytes([kind]) + new + old
    return struct.pack("<BH", TOKEN_ENVCHANGE, len(body)) + body


def b_varbyte(raw):
    return bytes([len(raw)]) + raw


def done(token, status, count=None):
    if count is not None:
        status |= DONE_COUNT
    return struct.pack("<BHHQ", token, status, 0, count or 0)


def error_token(number, text, state=1, severity=16, server="tds_server", proc="", line=1):
    body = (struct.pack("<iBB", number, state, severity) + us_varchar(text) +
            b_varchar(server) + b_varchar(proc) + struct.pack("<i", line))
    return struct.pack("<BH", TOKEN_ERROR, len(body)) + body


def login_ack():
    body = bytes([1]) + bytes([0x74, 0x00, 0x00, 0x04]) + b_varchar("Microsoft SQL Server") + \
        bytes([16, 0, 0x03, 0xE8])
    return struct.pack("<BH", TOKEN_LOGINACK, len(body)) + body


def to_decimal(value):
    try:
        return decimal.Decimal(str(value))
    except decimal.InvalidOperation:
        raise ScriptError("%r is not a number" % (value,))


def parse_datetime(value):
    for fmt in ("%Y-%m-%d %H:%M:%S.%f", "%Y-%m-%d %H:%M:%S", "%Y-%m-%dT%H:%M:%S.%f",
                "%Y-%m-%dT%H:%M:%S", "%Y-%m-%d"):
        try:
            return datetime.datetime.strptime(str(value), fmt)
        except ValueError:
            pass
    raise ScriptError("%r is not a date-time (yyyy-mm-dd hh:mm:ss[.fff])" % (value,))


class Column:
    """A result column of the script: its TYPE_INFO and how a value of it is written."""

    INT_SIZES = {"tinyint": 1, "smallint": 2, "int": 4, "bigint": 8}

    def __init__(self, spec, default_collation):
        if not isinstance(spec, dict) or "name" not in spec or "type" not in spec:
            raise ScriptError("a column needs a name and a type: %r" % (spec,))
        self.name = spec["name"]
        self.type = spec["type"].lower()
        self.nullable = spec.get("nullable", True)
        self.collation = encode_collation(spec.get("collation", default_collation))
        t = self.type
        if t in ("nvarchar", "nchar"):
            self.length = int(spec.get("length", 4000 if t == "nvarchar" else 1))
            self.type_info = struct.pack("<BH", 0xE7 if t == "nvarchar" else 0xEF,
                                         2 * self.length) + self.collation
        elif t in ("varchar", "char"):
            self.length = int(spec.get("length", 8000 if t == "varchar" else 1))
            self.type_info = struct.pack("<BH", 0xA7 if t == "varchar" else 0xAF,
                                         self.length) + self.collation
            self.codepage = codepage(self.collation)
            if self.codepage is None:
                raise ScriptError("no code page known for the collation of column %s" % self.name)
        elif t in self.INT_SIZES:
            self.type_info = bytes([0x26, self.INT_SIZES[t]])
        elif t == "bit":
            self.type_info = bytes([0x68, 1])
        elif t in ("money", "float"):
            self.type_info = bytes([0x6E if t == "money" else 0x6D, 8])
        elif t == "real":
            self.type_info = bytes([0x6D, 4])
        elif t == "datetime":
            self.type_info = bytes([0x6F, 8])
        elif t == "decimal":
            self.precision = int(spec.get("precision", 18))
            self.scale = int(spec.get("scale", 0))
            self.size = next(s for p, s in ((9, 5), (19, 9), (28, 13), (38, 17))
                             if self.precision <= p)
            self.type_info = bytes([0x6A, self.size, self.precision, self.scale])
        else:
            raise ScriptError("unknown column type %r" % spec["type"])

    def metadata(self):
        flags = 0x0001 if self.nullable else 0
        return struct.pack("<IH", 0, flags) + self.type_info + b_varchar(self.name)

    def value(self, v):
        t = self.type
        if t in ("nvarchar", "nchar", "varchar", "char"):
            if v is None:
                return b"\xff\xff"
            text = str(v)
            if t in ("nchar", "char"):
                text = text.ljust(self.length)
            if t.startswith("n"):
                raw = text.encode("utf-16-le")
            else:
                try:
                    raw = text.encode(self.codepage)
                except UnicodeEncodeError:
                    raise ScriptError("%r of column %s cannot be written in %s"
                                      % (text, self.name, self.codepage))
            return struct.pack("<H", len(raw)) + raw
        if v is None:
            return b"\x00"
        if t in self.INT_SIZES:
            n = self.INT_SIZES[t]
            return bytes([n]) + int(v).to_bytes(n, "little", signed=t != "tinyint")
        if t == "bit":
            return b"\x01" + bytes([1 if v else 0])
        if t == "money":
            units = int((to_decimal(v) * 10000).to_integral_value(decimal.ROUND_HALF_EVEN))
            return b"\x08" + struct.pack("<iI", units >> 32, units & 0xFFFFFFFF)
        if t == "float":
            return b"\x08" + struct.pack("<d", float(v))
        if t == "real":
            return b"\x04" + struct.pack("<f", float(v))
        if t == "datetime":
            d = parse_datetime(v)
            delta = d - EPOCH_1900
            ms = delta.seconds * 1000 + delta.microseconds // 1000
            return b"\x08" + struct.pack("<iI", delta.days, round(ms * 3 / 10))
        if t == "decimal":
            units = int(to_decimal(v).scaleb(self.scale).to_integral_value())
            return bytes([self.size, 0 if units < 0 else 1]) + abs(units).to_bytes(
                self.size - 1, "little")
        raise ScriptError("unknown column type %r" % t)


def result_set(spec, default_collation, token_done, more):
    columns = [Column(c, default_collation) for c in spec["columns"]]
    out = bytearray(struct.pack("<BH", TOKEN_COLMETADATA, len(columns)))
    for c in columns:
        out += c.metadata()
    rows = spec.get("rows", [])
    for row in rows:
        if len(row) != len(columns):
            raise ScriptError("a row has %d values for %d columns" % (len(row), len(columns)))
        out.append(TOKEN_ROW)
        for c, v in zip(columns, row):
            out += c.value(v)
    out += done(token_done, DONE_MORE if more else 0, len(rows))
    return bytes(out)


# ---- the script --------------------------------------------------------------------------

class Script:
    def __init__(self, data=None, path=None):
        self.path = path
        self.mtime = None
        self.data = {}
        self.used = {}
        self.lock = threading.Lock()
        if data is not None:
            self.set(data)
        elif path:
            self.reload()

    def set(self, data):
        with self.lock:
            if not isinstance(data, dict):
                raise ScriptError("the script is not a JSON object")
            self.data = data
            self.used = {}

    def reload(self):
        if not self.path:
            return
        try:
            st = os.stat(self.path)
        except OSError:
            return
        # A file swapped in by rename has a new inode even within the same clock tick.
        mtime = (st.st_mtime_ns, st.st_ino, st.st_size)
        if mtime == self.mtime:
            return
        with open(self.path, encoding="utf-8") as f:
            data = json.load(f)
        self.mtime = mtime
        self.set(data)

    def get(self, key, default=None):
        with self.lock:
            return self.data.get(key, default)

    def find(self, request):
        """(index, entry) of the first answer that matches the request, or (None, None)."""
        with self.lock:
            for i, e in enumerate(self.data.get("answers", [])):
                if "kind" in e and e["kind"] != request["kind"]:
                    continue
                if "proc" in e and e["proc"] != request.get("proc"):
                    continue
                if "request" in e and e["request"] != request["n"]:
                    continue
                text = request.get("text") or ""
                if "contains" in e and e["contains"] not in text:
                    continue
                if "regex" in e and not re.search(e["regex"], text):
                    continue
                if "times" in e and self.used.get(i, 0) >= e["times"]:
                    continue
                self.used[i] = self.used.get(i, 0) + 1
                return i, e
        return None, None


# ---- the server --------------------------------------------------------------------------

class Dropped(Exception):
    pass


class Connection(threading.Thread):
    def __init__(self, server, sock, number):
        super().__init__(daemon=True)
        self.server = server
        self.sock = sock
        self.number = number
        self.packet_size = 4096
        self.collation = encode_collation(None)
        self.handles = {}
        self.next_handle = 1
        self.transaction = 0  # descriptor of the open transaction, 0 for none
        self.next_transaction = 1

    # packets
    def recv_exact(self, n):
        buf = bytearray()
        while len(buf) < n:
            chunk = self.sock.recv(n - len(buf))
            if not chunk:
                raise ConnectionError("closed by the client")
            buf += chunk
        return bytes(buf)

    def read_message(self):
        payload = bytearray()
        while True:
            header = self.recv_exact(8)
            ptype, status, length = struct.unpack(">BBH", header[:4])
            payload += self.recv_exact(length - 8)
            if status & STATUS_EOM:
                return ptype, status, bytes(payload)

    def send_message(self, payload, ptype=PKT_REPLY):
        step = self.packet_size - 8
        chunks = [payload[i:i + step] for i in range(0, len(payload), step)] or [b""]
        out = bytearray()
        for k, chunk in enumerate(chunks):
            status = STATUS_EOM if k == len(chunks) - 1 else 0
            out += struct.pack(">BBHHBB", ptype, status, len(chunk) + 8, self.number,
                               (k + 1) & 0xFF, 0) + chunk
        self.sock.sendall(out)

    def log(self, record):
        record["conn"] = self.number
        self.server.log(record)

    def run(self):
        try:
            self.serve()
            reason = "client"
        except Dropped:
            reason = "dropped"
        except (ConnectionError, OSError) as e:
            reason = "client" if "closed by the client" in str(e) else "error: %s" % e
        except Exception as e:  # a message the server cannot read: record it, hang up
            reason = "error: %s: %s" % (type(e).__name__, e)
        self.log({"kind": "disconnect", "reason": reason})
        try:
            self.sock.close()
        except OSError:
            pass

    def serve(self):
        ptype, _, payload = self.read_message()
        if ptype == PKT_PRELOGIN:
            self.prelogin(payload)
            ptype, _, payload = self.read_message()
        if ptype != PKT_LOGIN7:
            raise ValueError("expected a LOGIN7 packet, got type %d" % ptype)
        if not self.login(payload):
            return
        while True:
            ptype, status, payload = self.read_message()
            self.server.script.reload()
            if ptype == PKT_ATTENTION:
                self.log({"kind": "attention"})
                self.send_message(done(TOKEN_DONE, DONE_ATTN))
                continue
            if ptype == PKT_BATCH:
                requests = [self.parse_batch(payload)]
            elif ptype == PKT_RPC:
                requests = self.parse_rpcs(payload)
            elif ptype == PKT_TM:
                requests = [self.parse_tm(payload)]
            else:
                raise ValueError("unexpected packet type %d" % ptype)
            answer = bytearray()
            for k, request in enumerate(requests):
                request["n"] = self.server.next_request()
                if status & STATUS_RESET:
                    request["reset_connection"] = True
                answer += self.answer(request, last=k == len(requests) - 1)
            self.send_message(bytes(answer))

    # login
    def prelogin(self, payload):
        r = Reader(payload)
        options = {}
        while True:
            token = r.u8()
            if token == 0xFF:
                break
            offset, length = struct.unpack(">HH", r.take(4))
            options[token] = payload[offset:offset + length]
        encryption = options.get(1, b"\x02")[:1]
        self.log({"kind": "prelogin", "encryption": encryption[0] if encryption else None})
        # VERSION, ENCRYPTION (not supported: the login and all else go in clear), INSTOPT,
        # THREADID, MARS off.
        entries = [(0, bytes([16, 0, 0x03, 0xE8, 0, 0])), (1, b"\x02"), (2, b"\x00"),
                   (3, b""), (4, b"\x00")]
        head = bytearray()
        body = bytearray()
        offset = 5 * len(entries) + 1
        for token, data in entries:
            head += struct.pack(">BHH", token, offset + len(body), len(data))
            body += data
        self.send_message(bytes(head) + b"\xff" + bytes(body))

    def login(self, payload):
        r = Reader(payload)
        (_, tds_version, packet_size, _, client_pid, _, flags1, flags2, type_flags, flags3,
         _, _) = struct.unpack("<IIIIIIBBBBiI", r.take(36))

        def field(k):
            offset, length = struct.unpack("<HH", payload[36 + 4 * k:40 + 4 * k])
            return payload[offset:offset + 2 * length]

        def text(k):
            return field(k).decode("utf-16-le")

        record = {"kind": "login", "tds_version": "%08x" % tds_version,
                  "packet_size": packet_size, "client_pid": client_pid,
                  "host": text(0), "user": text(1), "password": deobfuscate_password(field(2)),
                  "app": text(3), "server": text(4), "library": text(6), "language": text(7),
                  "database": text(8), "option_flags": [flags1, flags2, type_flags, flags3]}
        if packet_size >= 512:
            self.packet_size = min(packet_size, 32767)
        refuse = self.server.script.get("login_error")
        if refuse:
            record["refused"] = True
            self.log(record)
            self.send_message(error_token(int(refuse.get("number", 18456)),
                                          refuse.get("text", "Login failed."),
                                          int(refuse.get("state", 1)),
                                          int(refuse.get("class", 14))) +
                              done(TOKEN_DONE, DONE_ERROR))
            return False
        try:
            self.collation = encode_collation(self.server.script.get("collation"))
        except ScriptError as e:
            self.log(dict(record, refused=True, script_error=str(e)))
            self.send_message(error_token(50000, "tds_server script: %s" % e) +
                              done(TOKEN_DONE, DONE_ERROR))
            return False
        database = self.server.script.get("database") or record["database"] or "master"
        record["collation"] = collation_json(self.collation)
        self.log(record)
        self.send_message(
            env_change(ENV_DATABASE, b_varchar(database), b_varchar("master")) +
            env_change(ENV_COLLATION, b_varbyte(self.collation), b_varbyte(b"")) +
            login_ack() +
            env_change(ENV_PACKETSIZE, b_varchar(str(self.packet_size)),
                       b_varchar(str(self.packet_size))) +
            done(TOKEN_DONE, 0))
        return True

    # requests
    def all_headers(self, r):
        total = r.u32()
        end = r.pos - 4 + total
        headers = {}
        while r.pos < end:
            length = r.u32()
            kind = r.u16()
            data = r.take(length - 6)
            if kind == 2:
                headers["transaction"] = struct.unpack("<Q", data[:8])[0]
                headers["outstanding"] = struct.unpack("<I", data[8:12])[0]
        r.pos = end
        return headers

    def parse_batch(self, payload):
        r = Reader(payload)
        headers = self.all_headers(r)
        return {"kind": "batch", "text": payload[r.pos:].decode("utf-16-le"),
                "transaction": headers.get("transaction")}

    def parse_rpcs(self, payload):
        r = Reader(payload)
        headers = self.all_headers(r)
        requests = []
        while not r.at_end():
            n = r.u16()
            if n == 0xFFFF:
                proc_id = r.u16()
                proc = PROC_NAMES.get(proc_id, "proc#%d" % proc_id)
            else:
                proc_id = None
                proc = r.take(2 * n).decode("utf-16-le")
            options = r.u16()
            params = []
            while not r.at_end() and r.data[r.pos] not in (0xFF, 0x80, 0xFE):
                name = r.b_varchar()
                status = r.u8()
                info = read_type_info(r)
                raw = read_raw_value(r, info)
                p = {"name": name, "output": bool(status & 1), "type": info["type"],
                     "type_id": info["type_id"], "sql_type": sql_type_text(info),
                     "length": info.get("length"), "null": raw is None,
                     "hex": raw.hex() if raw is not None else None,
                     "value": decode_value(raw, info)}
                for key in ("precision", "scale"):
                    if key in info:
                        p[key] = info[key]
                if info.get("plp"):
                    p["plp"] = True
                if "collation_raw" in info:
                    p["collation"] = collation_json(info["collation_raw"])
                params.append(p)
            if not r.at_end():
                r.u8()  # batch separator
            request = {"kind": "rpc", "proc": proc, "proc_id": proc_id, "options": options,
                       "params": params, "transaction": headers.get("transaction")}
            request["text"] = self.rpc_text(request)
            requests.append(request)
        return requests

    @staticmethod
    def param(request, position, name):
        for p in request["params"]:
            if p["name"].lower() == name:
                return p
        unnamed = request["params"]
        if position < len(unnamed) and not unnamed[position]["name"]:
            return unnamed[position]
        return None

    def rpc_text(self, request):
        proc = request["proc"]
        stmt_at = {"sp_executesql": 0, "sp_prepare": 2, "sp_prepexec": 2, "sp_cursoropen": 1,
                   "sp_cursorprepare": 2, "sp_cursorprepexec": 3}
        if proc in stmt_at:
            p = self.param(request, stmt_at[proc], "@stmt")
            return p["value"] if p and isinstance(p["value"], str) else ""
        if proc == "sp_execute":
            p = self.param(request, 0, "@handle")
            handle = p["value"] if p else None
            request["handle"] = handle
            return self.handles.get(handle, "")
        return proc

    def parse_tm(self, payload):
        r = Reader(payload)
        headers = self.all_headers(r)
        kind = r.u16()
        request = {"kind": "tm", "text": TM_NAMES.get(kind, "TM_%d" % kind),
                   "transaction": headers.get("transaction")}
        if kind == 5:
            request["isolation"] = r.u8()
            request["name"] = r.b_varchar()
        elif kind in (7, 8):
            request["name"] = r.b_varchar()
            flags = r.u8()
            request["begin_new"] = bool(flags & 1)
            if flags & 1:
                request["isolation"] = r.u8()
                request["new_name"] = r.b_varchar()
        return request

    # answers
    def answer(self, request, last):
        script = self.server.script
        index, entry = script.find(request)
        request["answer"] = index
        delay = (entry or {}).get("delay_ms", script.get("delay_ms", 0))
        drop_at = script.get("drop_at")
        if (entry and entry.get("drop")) or (drop_at and request["n"] == drop_at):
            request["dropped"] = True
            self.log(request)
            self.sock.shutdown(socket.SHUT_RDWR)
            raise Dropped()
        if delay:
            time.sleep(delay / 1000)
        try:
            out = self.build_answer(request, entry, last)
        except ScriptError as e:
            request["script_error"] = str(e)
            out = self.fail(request, 50000, "tds_server script: %s" % e, last)
        self.log(request)
        return out

    def final_done(self, request, last, status=0, count=None):
        token = TOKEN_DONEPROC if request["kind"] == "rpc" else TOKEN_DONE
        if not last:
            status |= DONE_MORE
        if self.transaction:
            status |= DONE_INXACT
        return done(token, status, count)

    def fail(self, request, number, text, last, severity=16, state=1):
        return error_token(number, text, state, severity) + \
            self.final_done(request, last, DONE_ERROR)

    def results(self, entry, inner):
        """The scripted results; inner: inside a procedure (DONEINPROC, more to follow)."""
        specs = entry.get("results")
        if specs is None:
            specs = [entry]
        out = bytearray()
        for k, spec in enumerate(specs):
            more = inner or k < len(specs) - 1
            token = TOKEN_DONEINPROC if inner else TOKEN_DONE
            if "columns" in spec:
                out += result_set(spec, self.collation, token, more)
            elif "count" in spec:
                out += done(token, DONE_MORE if more else 0, int(spec["count"]))
            elif inner:
                continue
            else:
                out += done(token, DONE_MORE if more else 0)
        return bytes(out)

    def build_answer(self, request, entry, last):
        kind = request["kind"]
        if entry and "error" in entry:
            e = entry["error"]
            request["answered"] = "error"
            return self.fail(request, int(e.get("number", 50000)), e.get("text", ""), last,
                             int(e.get("class", 16)), int(e.get("state", 1)))
        if kind == "tm":
            return self.transaction_answer(request, last)
        if kind == "batch":
            if entry is None:
                return self.unscripted(request, last)
            request["answered"] = "script"
            return self.results(entry, inner=False)
        proc = request["proc"]
        if proc == "sp_unprepare" and entry is None:
            p = self.param(request, 0, "@handle")
            self.handles.pop(p["value"] if p else None, None)
            request["answered"] = "auto"
            return struct.pack("<Bi", TOKEN_RETURNSTATUS, 0) + self.final_done(request, last)
        if proc == "sp_prepare" and entry is None:
            request["answered"] = "auto"
            return self.with_handle(request, b"", last)
        if entry is None:
            return self.unscripted(request, last)
        request["answered"] = "script"
        inner = self.results(entry, inner=True)
        if proc in ("sp_prepexec", "sp_prepare"):
            return self.with_handle(request, inner, last)
        return inner + struct.pack("<Bi", TOKEN_RETURNSTATUS, 0) + self.final_done(request, last)

    def with_handle(self, request, inner, last):
        """Results, then the new handle as the output value of @handle."""
        handle = self.next_handle
        self.next_handle += 1
        self.handles[handle] = request["text"]
        request["handle"] = handle
        body = struct.pack("<H", 0) + b_varchar("@handle") + b"\x01" + \
            struct.pack("<IH", 0, 0x0001) + bytes([0x26, 4]) + bytes([4]) + \
            struct.pack("<i", handle)
        return inner + struct.pack("<Bi", TOKEN_RETURNSTATUS, 0) + \
            bytes([TOKEN_RETURNVALUE]) + body + self.final_done(request, last)

    def unscripted(self, request, last):
        request["answered"] = "unscripted"
        what = request["proc"] if request["kind"] == "rpc" else "batch"
        text = "tds_server: no scripted answer for %s: %s" % (what, request.get("text") or "")
        return self.fail(request, 50000, text[:2000], last)

    def transaction_answer(self, request, last):
        name = request["text"]
        request["answered"] = "auto"
        old = self.transaction
        out = bytearray()
        if name == "TM_BEGIN_XACT":
            if old:
                return self.fail(request, 50000, "tds_server: a transaction is already open",
                                 last)
            out += self.begin_transaction()
        elif name in ("TM_COMMIT_XACT", "TM_ROLLBACK_XACT"):
            commit = name == "TM_COMMIT_XACT"
            if not old:
                word = "COMMIT" if commit else "ROLLBACK"
                return self.fail(request, 3902 if commit else 3903,
                                 "The %s TRANSACTION request has no corresponding BEGIN "
                                 "TRANSACTION." % word, last)
            self.transaction = 0
            out += env_change(ENV_COMMIT if commit else ENV_ROLLBACK, b_varbyte(b""),
                              b_varbyte(struct.pack("<Q", old)))
            if request.get("begin_new"):
                out += self.begin_transaction()
        else:
            return self.fail(request, 50000, "tds_server: %s is not supported" % name, last)
        request["transaction_after"] = self.transaction
        return bytes(out) + self.final_done(request, last)

    def begin_transaction(self):
        self.transaction = self.number << 32 | self.next_transaction
        self.next_transaction += 1
        return env_change(ENV_BEGIN, b_varbyte(struct.pack("<Q", self.transaction)),
                          b_varbyte(b""))


class TdsServer:
    """The server for tests: start(), port, records, stop(). Usable from Python directly."""

    def __init__(self, script=None, log_path=None, script_path=None):
        self.script = Script(script, script_path)
        self.log_path = log_path
        self.records = []
        self._log_lock = threading.Lock()
        self._request_lock = threading.Lock()
        self._requests = 0
        self._connections = 0
        self._sock = None
        self._thread = None
        self.port = None
        if log_path:
            open(log_path, "w").close()

    def start(self):
        self._sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._sock.bind(("127.0.0.1", 0))
        self._sock.listen(16)
        self.port = self._sock.getsockname()[1]
        self._thread = threading.Thread(target=self._accept, daemon=True)
        self._thread.start()
        return self.port

    def stop(self):
        if self._sock:
            try:
                self._sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            self._sock.close()
        if self._thread:
            self._thread.join(5)

    def _accept(self):
        while True:
            try:
                sock, _ = self._sock.accept()
            except OSError:
                return
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            with self._request_lock:
                self._connections += 1
                number = self._connections
            Connection(self, sock, number).start()

    def next_request(self):
        with self._request_lock:
            self._requests += 1
            return self._requests

    def log(self, record):
        record["time"] = round(time.time(), 6)
        with self._log_lock:
            self.records.append(record)
            if self.log_path:
                with open(self.log_path, "a", encoding="utf-8") as f:
                    f.write(json.dumps(record, ensure_ascii=False) + "\n")


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--script", help="JSON script file (read again when it changes)")
    parser.add_argument("--log", required=True, help="JSON lines file of every request")
    parser.add_argument("--port-file", help="file that receives the port number")
    parser.add_argument("--exit-on-stdin-eof", action="store_true",
                        help="stop when standard input closes (the test process ended)")
    args = parser.parse_args(argv)
    server = TdsServer(log_path=args.log, script_path=args.script)
    port = server.start()
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % port)
        os.replace(tmp, args.port_file)
    print("port %d" % port, flush=True)
    try:
        if args.exit_on_stdin_eof:
            while sys.stdin.buffer.read(4096):
                pass
        else:
            threading.Event().wait()
    except KeyboardInterrupt:
        pass
    server.stop()


if __name__ == "__main__":
    main()
