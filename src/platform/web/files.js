// files.js: the page's own files, fetched as bytes.
export function fetchBytes(name) {
  return fetch(name).then((reply) => {
    if (!reply.ok) throw new Error(name + ': ' + reply.status);
    return reply.arrayBuffer();
  });
}
