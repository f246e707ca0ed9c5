# Writes an OpenSSL configuration whose system defaults allow every protocol version and the
# weakest security level, so that only the client's own floor can refuse an old server.
file(WRITE "${OUT}" "openssl_conf = weak_tls_defaults

[weak_tls_defaults]
ssl_conf = weak_tls_ssl

[weak_tls_ssl]
system_default = weak_tls_system

[weak_tls_system]
MinProtocol = TLSv1
CipherString = DEFAULT:@SECLEVEL=0
")
