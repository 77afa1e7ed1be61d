#!/bin/sh
# Throw-away certificates for the TLS tests, written into $1:
#   ca.pem            the test CA (also hashed into cadir/)
#   good.pem/.key     localhost and 127.0.0.1, signed by the CA
#   wrongname.pem     wrong.example, signed by the CA
#   expired.pem       localhost, signed by the CA, valid only in 2020
#   rogue.pem         localhost, signed by a CA nobody trusts
#   wild.pem          *.wild.test, signed by the CA
#   client.pem/.key   a client certificate signed by the CA; client.der/.keyder
set -e
cd "$1"
q() { "$@" >/dev/null 2>&1; }
mkdir -p cadir
q openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key -out ca.pem -days 30 \
  -subj "/CN=Orin Test CA"
q openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout rogue-ca.key -out rogue-ca.pem -days 30 \
  -subj "/CN=Rogue CA"
cp ca.pem cadir/ && q openssl rehash cadir
cat > ca.cnf <<CNF
[ ca ]
default_ca = test
[ test ]
dir = .
database = index.txt
serial = serial
new_certs_dir = issued
default_md = sha256
policy = any
copy_extensions = copy
unique_subject = no
[ any ]
commonName = supplied
CNF
mkdir -p issued && : > index.txt && echo 1000 > serial
# leaf NAME CN SAN CAKEY CACERT [ca args...]
leaf() {
  name=$1 cn=$2 san=$3 cakey=$4 cacert=$5; shift 5
  q openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$name.key" -out "$name.csr" \
    -subj "/CN=$cn" -addext "subjectAltName=$san"
  q openssl ca -batch -config ca.cnf -keyfile "$cakey" -cert "$cacert" -in "$name.csr" \
    -out "$name.pem" -notext "$@"
}
leaf good localhost "DNS:localhost,IP:127.0.0.1" ca.key ca.pem -days 30
leaf wrongname wrong.example "DNS:wrong.example" ca.key ca.pem -days 30
leaf expired localhost "DNS:localhost" ca.key ca.pem -startdate 20200101000000Z \
  -enddate 20200201000000Z
leaf rogue localhost "DNS:localhost" rogue-ca.key rogue-ca.pem -days 30
leaf wild "*.wild.test" "DNS:*.wild.test" ca.key ca.pem -days 30
leaf client "Orin Client" "DNS:client.test" ca.key ca.pem -days 30
q openssl x509 -in client.pem -outform DER -out client.der
q openssl pkey -in client.key -outform DER -out client.keyder
q openssl x509 -in good.pem -outform DER -out good.der
