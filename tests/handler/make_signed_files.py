"""make_signed_files.py OUTDIR: throwaway RSA and EC keys and certificates
(one expired) made with openssl, and OUTDIR/signed_files.jsonl, the signed
and policed files that the handler's end-to-end test opens with its table's:
each the file or link, the policy per machine and per user, the verdict and
what the message says. OUTDIR/seeds has each (a link without its scheme)."""

import base64
import hashlib
import hmac
import json
import os
import subprocess
import sys


# What the handler's message says, by refusal.
SAYS = {"SignatureInvalid": "it was changed after it was signed",
        "SignatureAlgorithm": "only RS256 and ES256",
        "SignatureKey": "does not fit the signer's certificate",
        "SignatureHeader": "\"crit\" is not allowed in a signature's header",
        "SignatureMember": "\"header\" is not a member of a signed connection file",
        "NotCurrent": "has expired or is not yet valid",
        "Unverified": "your administrator opens no other files",
        "NotAsked": "with --quiet you cannot be asked"}


def openssl(*args, data=None):
    return subprocess.run(["openssl", *args], input=data, capture_output=True, check=True).stdout


def b64u(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def make_keys(out):
    """name -> (key path, DER certificate, PEM public key); "expired" was valid in 2020."""
    ca = os.path.join(out, "ca")
    os.makedirs(ca, exist_ok=True)
    for name, text in (("index.txt", ""), ("serial", "01\n"),
                       ("ca.cnf", f"[ca]\ndefault_ca=t\n[t]\ndatabase={ca}/index.txt\n"
                                  f"new_certs_dir={ca}\nserial={ca}/serial\ndefault_md=sha256\n"
                                  "policy=p\n[p]\ncommonName=supplied\n")):
        with open(os.path.join(ca, name), "w") as f:
            f.write(text)
    keys = {}
    for name, kind in (("rsa", ["rsa:2048"]), ("ec", ["ec", "-pkeyopt", "ec_paramgen_curve:P-256"]),
                       ("expired", ["rsa:2048"])):
        key, pem = os.path.join(out, name + ".key"), os.path.join(out, name + ".pem")
        new = ["-newkey", *kind, "-subj", f"/CN={name} portal.example.org", "-nodes", "-keyout", key]
        if name == "expired":
            openssl("req", "-new", *new, "-out", pem + ".csr")
            openssl("ca", "-batch", "-config", f"{ca}/ca.cnf", "-selfsign", "-keyfile", key, "-in",
                    pem + ".csr", "-startdate", "20200101000000Z", "-enddate", "20210101000000Z",
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
    trust_all = {"TrustedPublishers": [rsa_written, ec_written, thumb["expired"]]}

    def payload(host="vm7.example.org", **more):
        return json.dumps({"version": 1, "host": host, "port": 5900, **more}).encode()

    def signed(*args, extra=None, **options):
        return file_text(sign(keys, *args, **options), extra)

    plain = payload()
    text = plain.decode()
    wildcard = {"AllowedHosts": ["*.example.org"]}
    tampered = list(sign(keys, "rsa", payload(password="once")))
    tampered[1] = b64u(payload(host="evil.example.net", password="once"))
    trusted = {"machine": trust_all}
    refusing = {"UnverifiedFiles": 0}
    table = [
        # Accepted without a question.
        ("TrustedRs256File", signed("rsa", plain), trusted, "accepted"),
        ("TrustedEs256File", signed("ec", plain), {"user": trust_all}, "accepted"),
        ("TrustedEs256Link", "corvane-console:" + ".".join(sign(keys, "ec", plain)),
         {"machine": {"TrustedPublishers": [ec_written]}}, "accepted"),
        ("AllowedHostMachine", text, {"machine": wildcard}, "accepted"),
        ("AllowedHostUser", text, {"user": {"AllowedHosts": ["VM7.Example.Org."]}}, "accepted"),
        ("UnverifiedOpenMachine", text, {"machine": {"UnverifiedFiles": 2}, "user": refusing},
         "accepted"),
        ("UnverifiedOpenUser", text, {"user": {"UnverifiedFiles": 2}}, "accepted"),
        # Refused, and never asked about.
        ("SignatureOverOtherBytes", signed("rsa", plain, over=payload(port=5901)), trusted,
         "SignatureInvalid"),
        ("PayloadChangedAfterSigning", file_text(tampered), {}, "SignatureInvalid"),
        ("AlgorithmNone", signed("rsa", plain, alg="none"), trusted, "SignatureAlgorithm"),
        ("Hs256WithTheCertificatesKey", signed("rsa", plain, alg="HS256"), trusted,
         "SignatureAlgorithm"),
        ("Es256WithAnRsaCertificate", signed("rsa", plain, alg="ES256"), trusted, "SignatureKey"),
        ("CriticalHeader", signed("rsa", plain, header={"crit": ["exp"]}), trusted,
         "SignatureHeader"),
        ("UnprotectedHeader", signed("rsa", plain, extra={"header": {}}), trusted,
         "SignatureMember"),
        ("TrustedButExpired", signed("expired", plain), trusted, "NotCurrent"),
        ("TrustedButHostNotAllowed", signed("rsa", payload(host="vm7.example.net")),
         {"machine": {**trust_all, **wildcard}}, "HostNotAllowed",
         "it connects to \"vm7.example.net\", which your administrator does not allow"),
        ("WildcardAgainstEvilexample", payload(host="evilexample.org").decode(),
         {"user": wildcard}, "HostNotAllowed", "\"evilexample.org\""),
        ("WildcardAgainstItsParent", payload(host="example.org").decode(), {"user": wildcard},
         "HostNotAllowed", "\"example.org\""),
        ("WildcardAgainstASuffix", payload(host="vm7.example.org.evil.net").decode(),
         {"machine": wildcard}, "HostNotAllowed", "\"vm7.example.org.evil.net\""),
        ("UnverifiedRefused", text, {"user": refusing}, "Unverified"),
        ("MachineRefusesOverUser", text, {"machine": refusing, "user": {"UnverifiedFiles": 2}},
         "Unverified"),
        # A sound signature by nobody the administrator trusts: unsigned.
        ("UntrustedSigner", signed("rsa", plain),
         {"machine": {"TrustedPublishers": [ec_written], **refusing}}, "Unverified"),
        ("TrustedByAPrefixOnly", signed("rsa", plain),
         {"user": {"TrustedPublishers": [thumb["rsa"][:16]], **refusing}}, "Unverified"),
        ("AskedButQuiet", text, {}, "NotAsked"),
    ]
    for name, text, policy, verdict, *says in table:
        link = text.startswith("corvane-console:")  # too long for the shell
        yield {"name": name, "via": "rawargument" if link else "file", "text": text, "policy": policy,
               "verdict": verdict, "says": (says or [SAYS.get(verdict, "")])[0],
               "deleted": "Changed" in name}


def main(out):
    os.makedirs(os.path.join(out, "seeds"), exist_ok=True)  # the fuzzer's
    with open(os.path.join(out, "signed_files.jsonl"), "w") as table:
        for row in rows(make_keys(out)):
            table.write(json.dumps(row) + "\n")
            with open(os.path.join(out, "seeds", row["name"]), "w") as seed:
                seed.write(row["text"].removeprefix("corvane-console:"))


if __name__ == "__main__":
    main(sys.argv[1])
