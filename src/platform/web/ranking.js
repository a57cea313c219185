// ranking.js: the one ranking request, and the reply's text.

// The first `limit` bytes of a body, as chunks; the rest is not waited for.
function readUpTo(stream, limit) {
  var reader = stream.getReader();
  var chunks = [];
  var count = 0;
  var more = function () {
    return reader.read().then(function (step) {
      if (step.done) return chunks;
      chunks.push(step.value);
      count += step.value.length;
      if (count < limit) return more();
      reader.cancel().catch(function () {});
      return chunks;
    });
  };
  return more();
}

// The same body bytes and header, at most replyLimit bytes of the reply back, within the program's
// time limit. A failure gives an empty reply.
export function post(path, headerLine, body, replyLimit, timeLimitMs, done) {
  var colon = headerLine.indexOf(':');
  var headers = {};
  if (colon > 0) headers[headerLine.slice(0, colon).trim()] = headerLine.slice(colon + 1).trim();
  var stop = new AbortController();
  var timer = setTimeout(function () { stop.abort(); }, timeLimitMs);
  fetch(path, { method: 'POST', headers: headers, body: body, cache: 'no-store', redirect: 'manual',
                credentials: 'same-origin', signal: stop.signal })
    .then(function (reply) { return reply.body && reply.type !== 'opaqueredirect' ? readUpTo(reply.body, replyLimit) : []; })
    .catch(function () { return []; })
    .then(function (chunks) {
      clearTimeout(timer);
      var bytes = new Uint8Array(replyLimit);
      var length = 0;
      chunks.forEach(function (chunk) {
        var part = chunk.subarray(0, replyLimit - length);
        bytes.set(part, length);
        length += part.length;
      });
      done(bytes.subarray(0, length));
    });
}

export function decodeCp932(bytes) { return new TextDecoder('shift_jis').decode(bytes); }
