// files.js: the page's own files, fetched as bytes or as a blob.
function fetchFile(name) {
  return fetch(name).then((reply) => {
    if (!reply.ok) throw new Error(name + ': ' + reply.status);
    return reply;
  });
}

export const fetchBytes = (name) => fetchFile(name).then((reply) => reply.arrayBuffer());
export const fetchBlob = (name) => fetchFile(name).then((reply) => reply.blob());
