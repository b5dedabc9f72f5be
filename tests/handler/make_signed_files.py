"""make_signed_files.py OUTDIR: throwaway RSA and EC keys and certificates
(one expired, one not yet valid, one too weak) made with openssl, and
OUTDIR/signed_files.jsonl, the signed, policed and ticketed files that the
handler's end-to-end test opens with its table's: each the file or link,
the policy per machine and per user, the verdict, what the message says,
and what a second opening says. Tickets are made for this run's clock,
each with an id of its own. OUTDIR/seeds has each (a link without its
scheme)."""

import base64
import hashlib
import hmac
import json
import os
import subprocess
import sys
import time
import uuid


# The verdicts of files that open: why, as their events say.
OPENED = ("TrustedPublisher", "AllowedHost", "UnverifiedFiles", "UserSaidYes")
# What the handler's message says, by refusal.
SAYS = {"SignatureInvalid": "it was changed after it was signed",
        "SignatureAlgorithm": "only RS256 and ES256",
        "SignatureKey": "does not fit the signer's certificate",
        "SignatureHeader": "\"crit\" is not allowed in a signature's header",
        "SignatureMember": "\"header\" is not a member of a signed connection file",
        "NotCurrent": "has expired or is not yet valid",
        "Unverified": "your administrator opens no other files",
        "NotAsked": "with --quiet you cannot be asked",
        "Unticketed": "without an expiry or an id", "Expired": "it has expired",
        "NotYetValid": "it is not valid yet", "TooLongLived": "valid for more than a day",
        "AlreadyUsed": "it was already used", "SignatureMalformed": "its signature is damaged",
        "HostNotAllowed": "which your administrator does not allow"}


def openssl(*args, data=None):
    return subprocess.run(["openssl", *args], input=data, capture_output=True, check=True).stdout


def b64u(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def make_keys(out):
    """name -> (key path, DER certificate, PEM public key); "expired" was valid in
    2020, "future" is valid from 2090."""
    ca = os.path.join(out, "ca")
    os.makedirs(ca, exist_ok=True)
    for name, text in (("index.txt", ""), ("serial", "01\n"),
                       ("ca.cnf", f"[ca]\ndefault_ca=t\n[t]\ndatabase={ca}/index.txt\n"
                                  f"new_certs_dir={ca}\nserial={ca}/serial\ndefault_md=sha256\n"
                                  "policy=p\n[p]\ncommonName=supplied\n")):
        with open(os.path.join(ca, name), "w") as f:
            f.write(text)
    keys = {}
    periods = {"expired": ("20200101000000Z", "20210101000000Z"),
               "future": ("20900101000000Z", "20910101000000Z")}
    for name, kind in (("rsa", ["rsa:2048"]), ("ec", ["ec", "-pkeyopt", "ec_paramgen_curve:P-256"]),
                       ("expired", ["rsa:2048"]), ("future", ["rsa:2048"]), ("weak", ["rsa:1024"])):
        key, pem = os.path.join(out, name + ".key"), os.path.join(out, name + ".pem")
        new = ["-newkey", *kind, "-subj", f"/CN={name} portal.example.org", "-nodes", "-keyout", key]
        if name in periods:
            openssl("req", "-new", *new, "-out", pem + ".csr")
            openssl("ca", "-batch", "-config", f"{ca}/ca.cnf", "-selfsign", "-keyfile", key, "-in",
                    pem + ".csr", "-startdate", periods[name][0], "-enddate", periods[name][1],
                    "-out", pem)
        else:
            openssl("req", "-x509", *new, "-out", pem)
        keys[name] = (key, openssl("x509", "-in", pem, "-outform", "DER"),
                      openssl("x509", "-in", pem, "-pubkey", "-noout"))
    return keys


def raw_ecdsa(der):
    """DER ECDSA-Sig-Value to JWS's R||S, 32 bytes each."""
    at, parts = 2, []
    for _ in range(2):
        length = der[at + 1]
        parts.append(der[at + 2:at + 2 + length].lstrip(b"\0").rjust(32, b"\0"))
        at += 2 + length
    return b"".join(parts)


def sign(keys, signer, payload, header=None, alg=None, over=None):
    """(protected, payload, signature) in base64url; `over`: other bytes to sign."""
    key, der, public = keys[signer]
    alg = alg or ("ES256" if signer == "ec" else "RS256")
    fields = {"alg": alg, "x5c": [base64.b64encode(der).decode()], **(header or {})}
    protected = b64u(json.dumps(fields).encode())
    encoded = b64u(payload)
    signing_input = f"{protected}.{b64u(over) if over else encoded}".encode()
    # HS256 keyed with the certificate's public key, as an attacker would.
    signature = (hmac.new(public, signing_input, hashlib.sha256).digest() if alg == "HS256"
                 else b"" if alg == "none"
                 else openssl("dgst", "-sha256", "-sign", key, data=signing_input))
    return protected, encoded, b64u(raw_ecdsa(signature) if signer == "ec" else signature)


def file_text(parts, extra=None):
    return json.dumps({**dict(zip(("protected", "payload", "signature"), parts)), **(extra or {})})


def rows(keys):
    thumb = {name: hashlib.sha256(der).hexdigest() for name, (_, der, _) in keys.items()}
    # As admins paste them: upper case, with colons or spaces.
    rsa_written = ":".join(thumb["rsa"][i:i + 2] for i in range(0, 64, 2)).upper()
    ec_written = " ".join(thumb["ec"][i:i + 8] for i in range(0, 64, 8))
    trust_all = {"TrustedPublishers": [rsa_written, ec_written, thumb["expired"], thumb["future"],
                                       thumb["weak"]]}
    now = int(time.time())

    def payload(host="vm7.example.org", exp=3600, jti=True, **more):
        """A ticket for `exp` seconds from now with an id of its own, unless None/False."""
        ticket = {**({"exp": now + exp} if exp is not None else {}),
                  **({"jti": uuid.uuid4().hex} if jti else {})}
        return json.dumps({"version": 1, "host": host, "port": 5900, **ticket, **more}).encode()

    def signed(*args, extra=None, **options):
        return file_text(sign(keys, *args, **options), extra)

    def text(**more):
        return payload(**more).decode()

    def link(*parts):
        return "corvane-console:" + ".".join(parts)

    wildcard = {"AllowedHosts": ["*.example.org"]}
    others = [f"vm{i}.example.net" for i in range(1000)]
    tampered = list(sign(keys, "rsa", payload(password="once")))
    tampered[1] = b64u(payload(host="evil.example.net", password="once"))
    trusted = {"machine": trust_all}
    refusing = {"UnverifiedFiles": 0}
    opening = {"user": {"UnverifiedFiles": 2}}
    ec_parts = sign(keys, "ec", payload())
    replayed = payload()
    table = [
        # Accepted without a question.
        ("TrustedRs256File", signed("rsa", payload()), trusted, "TrustedPublisher"),
        ("TrustedEs256File", signed("ec", payload()), {"user": trust_all}, "TrustedPublisher"),
        ("TrustedEs256Link", link(*sign(keys, "ec", payload())),
         {"machine": {"TrustedPublishers": [ec_written]}}, "TrustedPublisher"),
        ("AllowedHostMachine", text(), {"machine": wildcard}, "AllowedHost"),
        ("AllowedHostUser", text(), {"user": {"AllowedHosts": ["VM7.Example.Org."]}}, "AllowedHost"),
        ("AllowedHostInCapitals", text(host="VM7.EXAMPLE.ORG"), {"user": wildcard}, "AllowedHost"),
        ("UnverifiedOpenMachine", text(), {"machine": {"UnverifiedFiles": 2}, "user": refusing},
         "UnverifiedFiles"),
        ("UnverifiedOpenUser", text(), opening, "UnverifiedFiles"),
        # Refused, and never asked about.
        ("SignatureOverOtherBytes", signed("rsa", payload(), over=payload(port=5901)), trusted,
         "SignatureInvalid"),
        ("PayloadChangedAfterSigning", file_text(tampered), {}, "SignatureInvalid"),
        ("Es256SignatureOneByteLonger",
         file_text(ec_parts[:2] + (b64u(base64.urlsafe_b64decode(ec_parts[2] + "==") + b"\0"),)),
         trusted, "SignatureInvalid"),
        ("AlgorithmNone", signed("rsa", payload(), alg="none"), trusted, "SignatureAlgorithm"),
        ("Hs256WithTheCertificatesKey", signed("rsa", payload(), alg="HS256"), trusted,
         "SignatureAlgorithm"),
        ("Rs512", signed("rsa", payload(), alg="RS512"), trusted, "SignatureAlgorithm"),
        ("Es384", signed("ec", payload(), alg="ES384"), trusted, "SignatureAlgorithm"),
        ("Es256WithAnRsaCertificate", signed("rsa", payload(), alg="ES256"), trusted,
         "SignatureKey"),
        ("Rsa1024Key", signed("weak", payload()), trusted, "SignatureKey"),
        ("CriticalHeader", signed("rsa", payload(), header={"crit": ["exp"]}), trusted,
         "SignatureHeader"),
        ("KeyIdHeader", signed("rsa", payload(), header={"kid": "1"}), trusted, "SignatureHeader",
         "\"kid\" is not allowed"),
        ("KeyUrlHeader", signed("rsa", payload(), header={"jku": "https://evil.example/k"}),
         trusted, "SignatureHeader", "\"jku\" is not allowed"),
        ("UnencodedPayloadHeader", signed("rsa", payload(), header={"b64": False}), trusted,
         "SignatureHeader", "\"b64\" is not allowed"),
        ("TypeNotAString", signed("rsa", payload(), header={"typ": 1}), trusted, "SignatureHeader",
         "\"typ\" is not allowed"),
        ("UnprotectedHeader", signed("rsa", payload(), extra={"header": {}}), trusted,
         "SignatureMember"),
        ("CompactLinkWithAFourthPart", link(*sign(keys, "ec", payload()), "x"), trusted,
         "SignatureMalformed"),
        ("TrustedButExpired", signed("expired", payload()), trusted, "NotCurrent"),
        ("TrustedButNotYetValid", signed("future", payload()), trusted, "NotCurrent"),
        ("TrustedButExpiredForAnAllowedHost", signed("expired", payload()),
         {"machine": {**trust_all, **wildcard}}, "NotCurrent"),
        ("TrustedButHostNotAllowed", signed("rsa", payload(host="vm7.example.net")),
         {"machine": {**trust_all, **wildcard}}, "HostNotAllowed",
         "it connects to \"vm7.example.net\", which your administrator does not allow"),
        ("EmptyAllowedHosts", signed("rsa", payload()), {"machine": {**trust_all, "AllowedHosts": []}},
         "HostNotAllowed"),
        ("WildcardAgainstEvilexample", text(host="evilexample.org"), {"user": wildcard},
         "HostNotAllowed", "\"evilexample.org\""),
        ("WildcardAgainstItsParent", text(host="example.org"), {"user": wildcard},
         "HostNotAllowed", "\"example.org\""),
        ("WildcardAgainstASuffix", text(host="vm7.example.org.evil.net"), {"machine": wildcard},
         "HostNotAllowed", "\"vm7.example.org.evil.net\""),
        ("WildcardAgainstAnAddress", text(host="10.0.0.5"), {"machine": {"AllowedHosts": ["*.0.0.5"]}},
         "HostNotAllowed", "\"10.0.0.5\""),
        # A list is read up to its thousandth value, and no further.
        ("AllowedAsTheThousandthHost", text(),
         {"user": {"AllowedHosts": others[:999] + ["vm7.example.org"]}}, "AllowedHost"),
        ("AllowedPastTheThousandthHost", text(),
         {"user": {"AllowedHosts": others + ["vm7.example.org"]}}, "HostNotAllowed"),
        ("UnverifiedRefused", text(), {"user": refusing}, "Unverified"),
        ("MachineRefusesOverUser", text(), {"machine": refusing, "user": {"UnverifiedFiles": 2}},
         "Unverified"),
        ("MachineRefusesAsText", text(), {"machine": {"UnverifiedFiles": "0"},
                                          "user": {"UnverifiedFiles": 2}}, "Unverified"),
        # A machine's key that is there but cannot be read is set, and holds nothing.
        ("MachineListUnreadable", text(),
         {"machine": {"AllowedHosts": ["vm7.example.org"], "Unreadable": ["AllowedHosts"]},
          "user": {"AllowedHosts": ["vm7.example.org"]}}, "HostNotAllowed"),
        ("MachineKeyUnreadableAsks", text(),
         {"machine": {"UnverifiedFiles": 2, "Unreadable": [""]}, "user": {"UnverifiedFiles": 2}},
         "NotAsked"),
        # What the machine wrote but cannot be used asks, whatever the user's says.
        ("MachineOutOfRangeAsks", text(), {"machine": {"UnverifiedFiles": 7},
                                           "user": {"UnverifiedFiles": 2}}, "NotAsked"),
        ("MachineOfAnotherTypeAsks", text(), {"machine": {"UnverifiedFiles": True},
                                              "user": {"UnverifiedFiles": 2}}, "NotAsked"),
        # A sound signature by nobody the administrator trusts: unsigned.
        ("UntrustedSigner", signed("rsa", payload()),
         {"machine": {"TrustedPublishers": [ec_written], **refusing}}, "Unverified"),
        ("NoPublisherTrusted", signed("rsa", payload()), {"user": refusing}, "Unverified"),
        ("TrustedByAPrefixOnly", signed("rsa", payload()),
         {"user": {"TrustedPublishers": [thumb["rsa"][:16]], **refusing}}, "Unverified"),
        ("AskedButQuiet", text(), {}, "NotAsked"),
        # An allowed host vouches for the destination, not for what the file trusts.
        ("AllowedHostWithItsOwnCa", text(ca="-----BEGIN CERTIFICATE-----\nx\n"),
         {"machine": wildcard}, "NotAsked"),
        ("AllowedHostWithItsOwnSubject", text(hostSubject="CN=vm7.example.org"),
         {"user": wildcard}, "NotAsked"),
        ("AllowedHostWithItsOwnCaRefused", text(hostSubject="CN=vm7.example.org"),
         {"machine": {**wildcard, **refusing}}, "Unverified"),
        # Tickets: their lifetime by this computer's clock, and one use each.
        ("TicketUsedTwice", signed("rsa", payload()), trusted, "TrustedPublisher", "", "AlreadyUsed"),
        ("TicketWithinTheSkew", signed("rsa", payload(exp=-120)), trusted, "TrustedPublisher"),
        ("TicketExpired", signed("rsa", payload(exp=-600)), trusted, "Expired"),
        ("TicketNotYetValid", signed("rsa", payload(nbf=now + 3600, exp=7200)), trusted,
         "NotYetValid"),
        ("TicketForTwoDays", signed("ec", payload(exp=2 * 86400)), trusted, "TooLongLived"),
        ("TrustedWithoutExpiry", signed("rsa", payload(exp=None)), trusted, "Unticketed"),
        ("TrustedWithoutId", signed("rsa", payload(jti=False)), trusted, "Unticketed"),
        ("UnsignedTicketUsedTwice", text(exp=None), opening, "UnverifiedFiles", "", "AlreadyUsed"),
        # The book holds the id alone: a used ticket stripped of its signature is used.
        ("TicketReplayedUnsigned", signed("rsa", replayed), {"machine": {**trust_all, **wildcard}},
         "TrustedPublisher", "", "AlreadyUsed", replayed.decode()),
        ("UnsignedTicketExpired", text(exp=-3600), opening, "Expired"),
    ]
    # A password anywhere the handler could read one deletes the file; the
    # same file without one is kept.
    def padded(more):
        """base64url with '==' and a '-' (title "?>"), which standard base64 has not."""
        data = payload(title="?>?>", **more)
        return base64.urlsafe_b64encode(data + b" " * ((1 - len(data)) % 3)).decode()

    for name, verdict, says, make in (
            ("PaddedPayload", "SignatureMalformed", SAYS["SignatureMalformed"],
             lambda more: file_text((b64u(b"{}"), padded(more), "x"))),
            ("ObjectPayload", "WrongType", "\"payload\" has the wrong type",
             lambda more: json.dumps({"protected": "e30", "payload": json.loads(payload(**more)),
                                      "signature": "x"})),
            ("SecondPayload", "Duplicate", "\"payload\" is given twice",
             lambda more: '{"protected": "e30", "payload": "e30", "payload": "%s", "signature": "x"}'
             % b64u(payload(**more))),
            ("SignatureBeside", "SignatureMember", "is not a member of a signed connection file",
             lambda more: json.dumps({**json.loads(payload(**more)), "signature": "x"}))):
        table += [(name + "WithPassword", make({"password": "once"}), {}, verdict, says),
                  (name + "WithoutPassword", make({}), {}, verdict, says)]
    for name, text, policy, verdict, *says in table:
        link = text.startswith("corvane-console:")  # too long for the shell
        row = {"name": name, "via": "rawargument" if link else "file", "text": text,
               "policy": policy, "verdict": verdict,
               "says": (says[0] if says and says[0] else SAYS.get(verdict, "")),
               "deleted": "Changed" in name or "WithPassword" in name}
        if len(says) > 1:
            row["again"] = SAYS[says[1]]
        if len(says) > 2:  # the second opening's own text
            row["againText"] = says[2]
        if name.endswith("Password"):  # about deleting, in shapes no schema describes
            row["schema"] = False
        if verdict in OPENED:
            row["host"] = json.loads(text if text.startswith("{") else "{}").get(
                "host", "vm7.example.org")
        yield row


def main(out):
    os.makedirs(os.path.join(out, "seeds"), exist_ok=True)  # the fuzzer's
    with open(os.path.join(out, "signed_files.jsonl"), "w") as table:
        for row in rows(make_keys(out)):
            table.write(json.dumps(row) + "\n")
            with open(os.path.join(out, "seeds", row["name"]), "w") as seed:
                seed.write(row["text"].removeprefix("corvane-console:"))


if __name__ == "__main__":
    main(sys.argv[1])
