"""A real SMTP server on 127.0.0.1 for the mail tests and the mail benchmark.

Listens on a free port and prints "PORT <n>" once it accepts connections.
Every message it takes is written to --store as NNNN.json: the envelope, the
EHLO/HELO name, whether TLS and a login were used, the raw message and what
Python's own mail parser makes of it (headers decoded, body decoded). The
options switch on one fault or requirement each.
"""

import argparse
import base64
import asyncio
import email
import email.policy
import json
import logging
import os
import ssl
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult

OPTS = None
COUNT = 0


class Store:
    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if OPTS.refuse_all or address in OPTS.refuse or address in ('', '<>'):
            # Longer than a socket piece, as some servers explain.
            return ('550 5.1.1 <%s>: Recipient address rejected: ' % address) + 'x' * 250
        envelope.rcpt_tos.append(address)
        return '250 OK'

    async def handle_DATA(self, server, session, envelope):
        global COUNT
        if OPTS.silent_data:
            await asyncio.Event().wait()
        raw = envelope.original_content
        login = getattr(getattr(session, 'auth_data', None), 'login', None)
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        record = {
            'mail_from': envelope.mail_from,
            'rcpt_tos': envelope.rcpt_tos,
            'helo': session.host_name,
            'tls': session.ssl is not None or OPTS.implicit_tls,
            'login': login.decode() if login else None,
            'raw': raw.decode('latin-1'),
            'headers': [[k, str(v)] for k, v in msg.items()],
            'body': (msg.get_body(('plain',)) or msg).get_content()
                    if msg.get_content_maintype() in ('text', 'multipart') else None,
            'attachments': [{'filename': part.get_filename(),
                             'content_type': part.get_content_type(),
                             'data': base64.b64encode(part.get_payload(decode=True)).decode()}
                            for part in msg.iter_attachments()],
            'defects': [str(d) for d in msg.defects],
        }
        COUNT += 1
        path = os.path.join(OPTS.store, '%04d.json' % COUNT)
        with open(path + '.tmp', 'w', encoding='utf-8') as f:
            json.dump(record, f)
        os.rename(path + '.tmp', path)
        return '250 Message accepted for delivery'


def authenticator(server, session, envelope, mechanism, auth_data):
    user, password = OPTS.auth.split(':', 1)
    ok = auth_data.login == user.encode() and auth_data.password == password.encode()
    return AuthResult(success=ok, handled=False, auth_data=auth_data)


class Server(SMTP):
    async def _handle_client(self):
        if OPTS.silent:
            await asyncio.Event().wait()
        if OPTS.greet421:
            await self.push('421 4.3.2 Service not available, try later')
            line = await self._reader.readuntil(b'\r\n')
            if line.strip().upper() == b'QUIT':
                await self.push('221 Bye')
            self.transport.close()
            return
        await super()._handle_client()

    async def smtp_EHLO(self, hostname):
        if OPTS.no_ehlo:
            await self.push('502 5.5.2 Error: command "EHLO" not recognized')
            return
        await super().smtp_EHLO(hostname)

    async def smtp_DATA(self, arg):
        if OPTS.close_in_data and self.envelope.rcpt_tos:
            await self.push('354 End data with <CR><LF>.<CR><LF>')
            await self._reader.readuntil(b'\r\n')
            self.transport.close()
            await asyncio.Event().wait()  # read no further commands
        await super().smtp_DATA(arg)


def tls_context():
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(OPTS.cert, OPTS.key)
    return context


async def main():
    kwargs = {}
    if OPTS.starttls:
        kwargs['tls_context'] = tls_context()
    if OPTS.smtputf8:
        kwargs['enable_SMTPUTF8'] = True
    if OPTS.auth:
        kwargs.update(authenticator=authenticator, auth_required=True,
                      auth_require_tls=not OPTS.implicit_tls)
        if OPTS.auth_mechanism:
            kwargs['auth_exclude_mechanism'] = [m for m in ('PLAIN', 'LOGIN')
                                                if m != OPTS.auth_mechanism]
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: Server(Store(), hostname='mail.test', **kwargs),
        host='127.0.0.1', port=0,
        ssl=tls_context() if OPTS.implicit_tls else None)
    print('PORT %d' % server.sockets[0].getsockname()[1], flush=True)
    # Ends when the test closes our standard input or kills us.
    await loop.run_in_executor(None, sys.stdin.read)


if __name__ == '__main__':
    parser = argparse.ArgumentParser()
    parser.add_argument('--store', required=True)
    parser.add_argument('--refuse', action='append', default=[])
    parser.add_argument('--refuse-all', action='store_true')
    parser.add_argument('--greet421', action='store_true')
    parser.add_argument('--no-ehlo', action='store_true')
    parser.add_argument('--close-in-data', action='store_true')
    parser.add_argument('--silent', action='store_true')
    parser.add_argument('--silent-data', action='store_true')
    parser.add_argument('--starttls', action='store_true')
    parser.add_argument('--implicit-tls', action='store_true')
    parser.add_argument('--cert')
    parser.add_argument('--key')
    parser.add_argument('--smtputf8', action='store_true')
    parser.add_argument('--auth', help='USER:PASSWORD')
    parser.add_argument('--auth-mechanism', choices=['PLAIN', 'LOGIN'])
    OPTS = parser.parse_args()
    # Faults are the point here: keep the test output quiet about them.
    logging.getLogger('mail.log').setLevel(logging.CRITICAL)
    warnings.simplefilter('ignore')
    asyncio.run(main())
