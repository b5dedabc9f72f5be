"""make_signed_files.py OUTDIR: throwaway RSA and EC keys and certificates
(one of them expired) made with openssl, and the table of signed and policed
files that the handler's end-to-end test opens: OUTDIR/signed_files.jsonl,
and each file (a link without its scheme) in OUTDIR/seeds for the fuzzer.
Each row: the file or link, the policy per machine and per user, and the
verdict ("accepted", or the refusal and what the message says)."""

import base64
import hashlib
import hmac
import json
import os
import subprocess
import sys


def openssl(*args, data=None):
    return subprocess.run(["openssl", *args], input=data, capture_output=True, check=True).stdout


def b64u(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def make_keys(out):
    """name -> (key path, DER certificate, PEM public key)"""
    ca = os.path.join(out, "ca")
    os.makedirs(ca, exist_ok=True)
    for name in ("index.txt", "serial"):
        with open(os.path.join(ca, name), "w") as f:
            f.write("01\n" if name == "serial" else "")
    with open(os.path.join(ca, "ca.cnf"), "w") as f:
        f.write(f"[ca]\ndefault_ca = test\n[test]\ndatabase = {ca}/index.txt\n"
                f"new_certs_dir = {ca}\nserial = {ca}/serial\ndefault_md = sha256\n"
                "policy = any\n[any]\ncommonName = supplied\n")
    keys = {}
    for name, kind in (("rsa", ["-newkey", "rsa:2048"]),
                       ("ec", ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256"]),
                       ("expired", ["-newkey", "rsa:2048"])):
        key, pem = os.path.join(out, name + ".key"), os.path.join(out, name + ".pem")
        subject = ["-subj", f"/CN={name} portal.example.org", "-nodes", "-keyout", key]
        if name == "expired":  # outside its validity: 2020 to 2021
            openssl("req", "-new", *kind, *subject, "-out", pem + ".csr")
            openssl("ca", "-batch", "-notext", "-config", os.path.join(ca, "ca.cnf"), "-selfsign",
                    "-keyfile", key, "-in", pem + ".csr", "-startdate", "20200101000000Z",
                    "-enddate", "20210101000000Z", "-out", pem)
        else:
            openssl("req", "-x509", *kind, *subject, "-days", "30", "-out", pem)
        der = openssl("x509", "-in", pem, "-outform", "DER")
        keys[name] = (key, der, openssl("x509", "-in", pem, "-pubkey", "-noout"))
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
    if alg == "HS256":  # keyed with the certificate's public key, as an attacker would
        signature = hmac.new(public, signing_input, hashlib.sha256).digest()
    elif alg == "none":
        signature = b""
    else:
        signature = openssl("dgst", "-sha256", "-sign", key, data=signing_input)
        signature = raw_ecdsa(signature) if signer == "ec" else signature
    return protected, encoded, b64u(signature)


def file_text(parts, extra=None):
    protected, payload, signature = parts
    return json.dumps({"protected": protected, "payload": payload, "signature": signature,
                       **(extra or {})})


def rows(keys):
    thumb = {name: hashlib.sha256(der).hexdigest() for name, (_, der, _) in keys.items()}
    # As admins paste them: upper case, with colons or spaces.
    rsa_written = ":".join(thumb["rsa"][i:i + 2] for i in range(0, 64, 2)).upper()
    ec_written = " ".join(thumb["ec"][i:i + 8] for i in range(0, 64, 8))
    trust_all = {"TrustedPublishers": [rsa_written, ec_written, thumb["expired"]]}

    def payload(host="vm7.example.org", **more):
        return json.dumps({"version": 1, "host": host, "port": 5900, **more}).encode()

    plain = payload()
    with_password = payload(password="once")
    wildcard = {"AllowedHosts": ["*.example.org"]}
    tampered = list(sign(keys, "rsa", with_password))
    tampered[1] = b64u(payload(host="evil.example.net", password="once"))
    table = [
        # Accepted without a question.
        ("TrustedRs256File", file_text(sign(keys, "rsa", plain)), {"machine": trust_all},
         "accepted"),
        ("TrustedEs256File", file_text(sign(keys, "ec", plain)), {"user": trust_all}, "accepted"),
        ("TrustedEs256Link", "corvane-console:" + ".".join(sign(keys, "ec", plain)),
         {"machine": {"TrustedPublishers": [ec_written]}}, "accepted"),
        ("AllowedHostMachine", plain.decode(), {"machine": wildcard}, "accepted"),
        ("AllowedHostUser", plain.decode(), {"user": {"AllowedHosts": ["VM7.Example.Org."]}},
         "accepted"),
        ("UnverifiedOpenMachine", plain.decode(),
         {"machine": {"UnverifiedFiles": 2}, "user": {"UnverifiedFiles": 0}}, "accepted"),
        ("UnverifiedOpenUser", plain.decode(), {"user": {"UnverifiedFiles": 2}}, "accepted"),
        # Refused, and never asked about.
        ("SignatureOverOtherBytes", file_text(sign(keys, "rsa", plain, over=payload(port=5901))),
         {"machine": trust_all}, "SignatureInvalid", "it was changed after it was signed"),
        ("PayloadChangedAfterSigning", file_text(tampered), {}, "SignatureInvalid",
         "it was changed after it was signed"),
        ("AlgorithmNone", file_text(sign(keys, "rsa", plain, alg="none")),
         {"machine": trust_all}, "SignatureAlgorithm", "only RS256 and ES256"),
        ("Hs256WithTheCertificatesKey", file_text(sign(keys, "rsa", plain, alg="HS256")),
         {"machine": trust_all}, "SignatureAlgorithm", "only RS256 and ES256"),
        ("Es256WithAnRsaCertificate", file_text(sign(keys, "rsa", plain, alg="ES256")),
         {"machine": trust_all}, "SignatureKey", "does not fit the signer's certificate"),
        ("CriticalHeader", file_text(sign(keys, "rsa", plain, header={"crit": ["exp"]})),
         {"machine": trust_all}, "SignatureHeader", "\"crit\" is not allowed in a signature"),
        ("UnprotectedHeader", file_text(sign(keys, "rsa", plain), {"header": {"kid": "x"}}),
         {"machine": trust_all}, "SignatureMember", "\"header\" is not a member of a signed"),
        ("TrustedButExpired", file_text(sign(keys, "expired", plain)), {"machine": trust_all},
         "NotCurrent", "has expired or is not yet valid"),
        ("TrustedButHostNotAllowed",
         file_text(sign(keys, "rsa", payload(host="vm7.example.net"))),
         {"machine": {**trust_all, **wildcard}}, "HostNotAllowed",
         "it connects to \"vm7.example.net\", which your administrator does not allow"),
        ("WildcardAgainstEvilexample", payload(host="evilexample.org").decode(),
         {"user": wildcard}, "HostNotAllowed", "\"evilexample.org\""),
        ("WildcardAgainstItsParent", payload(host="example.org").decode(), {"user": wildcard},
         "HostNotAllowed", "\"example.org\""),
        ("WildcardAgainstASuffix", payload(host="vm7.example.org.evil.net").decode(),
         {"machine": wildcard}, "HostNotAllowed", "\"vm7.example.org.evil.net\""),
        ("UnverifiedRefused", plain.decode(), {"user": {"UnverifiedFiles": 0}}, "Unverified",
         "your administrator opens no other files"),
        ("MachineRefusesOverUser", plain.decode(),
         {"machine": {"UnverifiedFiles": 0}, "user": {"UnverifiedFiles": 2}}, "Unverified",
         "opens no other files"),
        # A sound signature by nobody the administrator trusts: unsigned.
        ("UntrustedSigner", file_text(sign(keys, "rsa", plain)),
         {"machine": {"TrustedPublishers": [ec_written], "UnverifiedFiles": 0}}, "Unverified",
         "opens no other files"),
        ("TrustedByAPrefixOnly", file_text(sign(keys, "rsa", plain)),
         {"user": {"TrustedPublishers": [thumb["rsa"][:16]], "UnverifiedFiles": 0}},
         "Unverified", "opens no other files"),
        ("AskedButQuiet", plain.decode(), {}, "NotAsked", "with --quiet you cannot be asked"),
    ]
    for name, text, policy, verdict, *says in table:
        yield {"name": name, "text": text,
               "policy": policy, "verdict": verdict, "says": says[0] if says else "",
               "deleted": "password" in name.lower() or "AfterSigning" in name}


def main(out):
    os.makedirs(out, exist_ok=True)
    keys = make_keys(out)
    os.makedirs(os.path.join(out, "seeds"), exist_ok=True)  # the fuzzer's
    with open(os.path.join(out, "signed_files.jsonl"), "w") as table:
        for row in rows(keys):
            table.write(json.dumps(row) + "\n")
            with open(os.path.join(out, "seeds", row["name"]), "w") as seed:
                seed.write(row["text"].removeprefix("corvane-console:"))


if __name__ == "__main__":
    main(sys.argv[1])
