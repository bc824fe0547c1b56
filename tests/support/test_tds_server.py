"""Self-tests of the scripted TDS server: its byte layouts against values known from the wire
and from SQL Server, its script matching, and its behaviour on a socket with a bare client."""

import os
import socket
import struct
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tds_server as tds  # noqa: E402


class Collations(unittest.TestCase):
    # Five bytes as SQL Server sends them in the collation change of a login.
    KNOWN = [("Chinese_PRC_CI_AS", "0408d00000", "cp936"),
             ("SQL_Latin1_General_CP1_CI_AS", "0904d00034", "cp1252"),
             ("Latin1_General_CI_AS", "0904d00000", "cp1252")]

    def test_known_bytes(self):
        for name, hex_bytes, cp in self.KNOWN:
            with self.subTest(name):
                self.assertEqual(tds.encode_collation(name).hex(), hex_bytes)
                raw = bytes.fromhex(hex_bytes)
                self.assertEqual(tds.decode_collation(raw)[0], name)
                self.assertEqual(tds.codepage(raw), cp)

    def test_given_as_fields_or_hex(self):
        self.assertEqual(tds.encode_collation({"lcid": 0x0804, "flags": 0x0D}).hex(),
                         "0408d00000")
        self.assertEqual(tds.encode_collation("0904d00034"),
                         tds.encode_collation("SQL_Latin1_General_CP1_CI_AS"))
        with self.assertRaises(tds.ScriptError):
            tds.encode_collation("Klingon_CI_AS")


class Values(unittest.TestCase):
    def test_password(self):
        # "a" is 61 00 in UTF-16: nibbles swapped 16 00, XOR A5 gives B3 A5.
        self.assertEqual(tds.deobfuscate_password(bytes.fromhex("b3a5")), "a")
        self.assertEqual(tds.deobfuscate_password(tds.obfuscate_password("密码;1}")), "密码;1}")

    def test_decoded_parameters(self):
        cp936 = tds.encode_collation("Chinese_PRC_CI_AS")
        cases = [  # (type info, bytes as FreeTDS sent them, decoded)
            ({"type_id": 0x2A, "type": "DATETIME2N", "scale": 7}, "3017e9cf3bc3460b",
             "2024-05-06 07:08:09.1230000"),
            ({"type_id": 0x2A, "type": "DATETIME2N", "scale": 7}, "0000000000c3460b",
             "2024-05-06 00:00:00.0000000"),
            ({"type_id": 0xA7, "type": "BIGVARCHAR", "collation_raw": cp936},
             "cad5bfeeb7a2bbf5", "收款发货"),
            ({"type_id": 0xE7, "type": "NVARCHAR"}, "36653e6b", "收款"),
            ({"type_id": 0x26, "type": "INTN"}, "f9ffffff", -7),
            ({"type_id": 0x26, "type": "INTN"}, "00f2052a01000000", 5000000000),
            ({"type_id": 0x6E, "type": "MONEYN"}, "fffffffff0d8ffff", "-1"),
            ({"type_id": 0x6F, "type": "DATETIMN"}, "0100000001000000",
             "1900-01-02 00:00:00.003000"),
            ({"type_id": 0x6A, "type": "DECIMALN", "scale": 2}, "00d2040000", "-12.34"),
            ({"type_id": 0x68, "type": "BITN"}, "01", True),
        ]
        for info, hex_bytes, expected in cases:
            with self.subTest(info["type"], bytes=hex_bytes):
                self.assertEqual(tds.decode_value(bytes.fromhex(hex_bytes), info), expected)
        self.assertIsNone(tds.decode_value(None, {"type_id": 0x26, "type": "INTN"}))

    def test_result_columns(self):
        cases = [  # (column, value, bytes written)
            ({"type": "money"}, "-1", "08fffffffff0d8ffff"),
            ({"type": "money"}, "12.34", "080000000008e20100"),
            ({"type": "datetime"}, "1900-01-02 00:00:00.003", "080100000001000000"),
            ({"type": "int"}, None, "00"),
            ({"type": "bit"}, True, "0101"),
            ({"type": "nvarchar"}, "收款", "040036653e6b"),
            ({"type": "nvarchar"}, None, "ffff"),
            ({"type": "varchar", "collation": "Chinese_PRC_CI_AS"}, "收款", "0400cad5bfee"),
            ({"type": "decimal", "precision": 10, "scale": 2}, "-12.34", "0900d204000000000000"),
        ]
        for spec, value, hex_bytes in cases:
            with self.subTest(spec["type"], value=value):
                column = tds.Column(dict(spec, name="c"), "SQL_Latin1_General_CP1_CI_AS")
                self.assertEqual(column.value(value).hex(), hex_bytes)

    def test_text_the_collation_cannot_hold(self):
        column = tds.Column({"name": "c", "type": "varchar"}, "SQL_Latin1_General_CP1_CI_AS")
        with self.assertRaises(tds.ScriptError):
            column.value("收款")


class Matching(unittest.TestCase):
    SCRIPT = {"answers": [
        {"contains": "from [a]", "times": 1, "count": 1},
        {"contains": "from [a]", "count": 2},
        {"regex": r"^update \[b\]", "kind": "rpc", "count": 3},
        {"request": 9, "count": 4},
    ]}

    def test_first_match_with_uses_left(self):
        script = tds.Script(self.SCRIPT)
        cases = [  # (request, index of the entry expected, or None)
            ({"kind": "rpc", "n": 1, "text": "select 1 from [a]"}, 0),
            ({"kind": "rpc", "n": 2, "text": "select 1 from [a]"}, 1),
            ({"kind": "rpc", "n": 3, "text": "select 1 from [a]"}, 1),
            ({"kind": "rpc", "n": 4, "text": "update [b] set x = 1"}, 2),
            ({"kind": "batch", "n": 5, "text": "update [b] set x = 1"}, None),
            ({"kind": "rpc", "n": 6, "text": "insert [b]"}, None),
            ({"kind": "tm", "n": 9, "text": "TM_COMMIT_XACT"}, 3),
        ]
        for request, expected in cases:
            with self.subTest(request["text"], n=request["n"]):
                self.assertEqual(script.find(request)[0], expected)


# ---- a bare client on a socket --------------------------------------------------------------

def packet(ptype, payload, status=1):
    return struct.pack(">BBHHBB", ptype, status, len(payload) + 8, 0, 1, 0) + payload


def login7(user, password, database):
    fields = ["host", user, password, "app", "server", "", "lib", "", database]
    fixed = 36 + 4 * 9 + 6 + 4 * 3 + 4  # through ChangePassword and cbSSPILong
    header = bytearray(struct.pack("<IIIIIIBBBBiI", 0, 0x74000004, 4096, 0, 0, 0,
                                   0xE0, 0x03, 0, 0, 0, 0))
    data = bytearray()
    for k, text in enumerate(fields):
        raw = tds.obfuscate_password(text) if k == 2 else text.encode("utf-16-le")
        header += struct.pack("<HH", fixed + len(data), len(text))
        data += raw
    header += bytes(6) + struct.pack("<HHHHHHI", fixed + len(data), 0, fixed + len(data), 0,
                                     fixed + len(data), 0, 0)
    body = bytes(header) + bytes(data)
    return struct.pack("<I", len(body)) + body[4:]


def all_headers(transaction=0):
    return struct.pack("<IIHQI", 22, 18, 2, transaction, 1)


class Client:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)

    def request(self, ptype, payload):
        self.sock.sendall(packet(ptype, payload))
        return self.reply()

    def reply(self):
        data = bytearray()
        while True:
            head = self.recv(8)
            if not head:
                return None
            data += self.recv(struct.unpack(">H", head[2:4])[0] - 8)
            if head[1] & 1:
                return bytes(data)

    def recv(self, n):
        buf = bytearray()
        while len(buf) < n:
            chunk = self.sock.recv(n - len(buf))
            if not chunk:
                return None if not buf else bytes(buf)
            buf += chunk
        return bytes(buf)

    def login(self, user="sa", password="pw", database="Shop"):
        self.request(tds.PKT_PRELOGIN, bytes([0, 0, 6, 0, 6, 0xFF]) + bytes(6))
        return self.request(tds.PKT_LOGIN7, login7(user, password, database))

    def batch(self, text):
        return self.request(tds.PKT_BATCH, all_headers() + text.encode("utf-16-le"))

    def close(self):
        self.sock.close()


def last_done(reply):
    """(status, row count) of the DONE token that ends a reply."""
    token, status, _, count = struct.unpack("<BHHQ", reply[-13:])
    return token, status, count


def wait_for(condition, seconds=10):
    """Polls until the condition holds (records of a closing connection come a little later)."""
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.01)
    return True


class OnSocket(unittest.TestCase):
    def start(self, script):
        server = tds.TdsServer(script)
        server.start()
        self.addCleanup(server.stop)
        return server

    def test_login_recorded_and_answered(self):
        server = self.start({"collation": "SQL_Latin1_General_CP1_CI_AS"})
        client = Client(server.port)
        reply = client.login("张三", "密;码}", "订单")
        client.close()
        self.assertIn(bytes([tds.TOKEN_LOGINACK]), reply)
        self.assertIn(tds.encode_collation("SQL_Latin1_General_CP1_CI_AS"), reply)
        login = next(r for r in server.records if r["kind"] == "login")
        self.assertEqual((login["user"], login["password"], login["database"]),
                         ("张三", "密;码}", "订单"))

    def test_refused_login(self):
        server = self.start({"login_error": {"number": 18456, "text": "Login failed."}})
        client = Client(server.port)
        reply = client.login()
        client.close()
        self.assertNotIn(bytes([tds.TOKEN_LOGINACK]), reply[:3])
        self.assertIn("Login failed.".encode("utf-16-le"), reply)
        self.assertEqual(last_done(reply)[1] & tds.DONE_ERROR, tds.DONE_ERROR)

    def test_answers_in_order_then_dropped(self):
        server = self.start({"drop_at": 3, "answers": [{"contains": "update", "count": 5}]})
        client = Client(server.port)
        client.login()
        self.assertEqual(last_done(client.batch("update t set x = 1")), (tds.TOKEN_DONE,
                                                                          tds.DONE_COUNT, 5))
        unscripted = client.batch("delete from t")
        self.assertIn("no scripted answer for batch: delete from t".encode("utf-16-le"),
                      unscripted)
        self.assertIsNone(client.batch("update t set x = 2"))  # request 3: hung up
        client.close()
        requests = [r for r in server.records if "n" in r]
        self.assertEqual([(r["n"], r.get("answered"), r.get("dropped", False)) for r in requests],
                         [(1, "script", False), (2, "unscripted", False), (3, None, True)])
        self.assertTrue(wait_for(lambda: any(r.get("reason") == "dropped"
                                             for r in server.records)))

    def test_attention_acknowledged(self):
        server = self.start({})
        client = Client(server.port)
        client.login()
        reply = client.request(tds.PKT_ATTENTION, b"")
        client.close()
        self.assertEqual(last_done(reply)[1] & tds.DONE_ATTN, tds.DONE_ATTN)
        self.assertIn("attention", [r["kind"] for r in server.records])

    def test_long_request_over_several_packets(self):
        server = self.start({"answers": [{"regex": "^select '(x+)'$", "count": 1}]})
        client = Client(server.port)
        client.login()
        payload = all_headers() + ("select '%s'" % ("x" * 5000)).encode("utf-16-le")
        # Three packets of a 4096-byte packet size, the last one marked end of message.
        step = 4088
        for k in range(0, len(payload), step):
            last = k + step >= len(payload)
            client.sock.sendall(packet(tds.PKT_BATCH, payload[k:k + step], 1 if last else 0))
        reply = client.reply()
        client.close()
        self.assertEqual(last_done(reply)[2], 1)
        batch = next(r for r in server.records if r["kind"] == "batch")
        self.assertEqual(len(batch["text"]), len("select ''") + 5000)


if __name__ == "__main__":
    unittest.main()
