// A small HTTP/1.1 server on 127.0.0.1 for the framing tests. It prints its port as the first
// line of standard output.
//   GET /chunks   answers with a chunked body: one chunk per part below, then the last chunk.
//   POST /length  reads the request body (chunked or not) and answers with its length.
'use strict';
const http = require('http');

const parts = ['abcdefghijklmnopqrstuvwxyz', 'x'.repeat(1000), '0123456789'.repeat(700), '!'];

const server = http.createServer((req, res) => {
  if (req.method === 'GET' && req.url === '/chunks') {
    res.writeHead(200, {'Content-Type': 'text/plain'}); // no length: the body goes chunked
    for (const part of parts) res.write(part);
    res.end();
    return;
  }
  if (req.method === 'POST' && req.url === '/length') {
    let length = 0;
    req.on('data', (data) => { length += data.length; });
    req.on('end', () => {
      const body = String(length);
      res.writeHead(200, {'Content-Type': 'text/plain', 'Content-Length': body.length});
      res.end(body);
    });
    return;
  }
  res.writeHead(404, {'Content-Length': 0});
  res.end();
});

server.listen(0, '127.0.0.1', () => {
  process.stdout.write(server.address().port + '\n');
});
process.on('SIGTERM', () => server.close(() => process.exit(0)));
